#include "MFTask.h"

MFTaskLaunchError::MFTaskLaunchError(int error, const QString &launchPath)
    : std::system_error(error, std::generic_category(), QStringLiteral("cannot start %1").arg(launchPath).toStdString())
    , m_launchPath(launchPath)
{}

MFTask::MFTask(QObject *parent) : QObject(parent)
{}

MFTask::~MFTask() = default;

void MFTask::setDelegate(MFTaskDelegateProtocol *delegate)
{
    m_delegate = delegate;
}

void MFTask::setDelegateObject(QObject *object)
{
    if (!object) {
        m_delegate = nullptr;
        return;
    }
    auto *delegate = dynamic_cast<MFTaskDelegateProtocol *>(object);
    if (!delegate)
        throw MFTaskException("**Exception: MFTask cannot set delegate as the supplied object does not "
                              "conform to the MFTaskDelegateProtocol");
    m_delegate = delegate;
}

void MFTask::setIsFinished(bool finished)
{
    if (m_isFinished == finished)
        return;
    m_isFinished = finished;
    Q_EMIT isFinishedChanged(finished);
}
