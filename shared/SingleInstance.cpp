#include "SingleInstance.h"

#include "Identifiers.h"
#include "InstanceAdaptor.h"
#include "InstanceInterface.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingReply>

namespace {

const QString objectPath = QStringLiteral("/org/vellumor/Vellumor/Instance");

// Long enough for an instance busy with a modal dialog (its event loop still
// answers), short enough that a hung one does not hold a start forever.
constexpr int handOverTimeout = 30000;

} // namespace

SingleInstance::SingleInstance(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus)
{
    new InstanceAdaptor(this);
}

SingleInstance::~SingleInstance()
{
    if (m_ownsName)
        m_bus.unregisterService(Vellumor::MainAppBundleId);
    if (m_exported)
        m_bus.unregisterObject(objectPath);
}

SingleInstance::Claim SingleInstance::claim(const QStringList &arguments)
{
    if (!m_bus.isConnected())
        return Claim::NoBus;
    // Exported before the name is ours, so no later start finds the name
    // without the object behind it.
    if (!m_exported)
        m_exported = m_bus.registerObject(objectPath, this, QDBusConnection::ExportAdaptors);
    // Twice: an owner that ends between our claim and our call leaves the
    // name free for the second claim.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
            = m_bus.interface()->registerService(Vellumor::MainAppBundleId, QDBusConnectionInterface::DontQueueService,
                                                 QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
            m_ownsName = true;
            return Claim::First;
        }
        OrgVellumorVellumorInstanceInterface owner(Vellumor::MainAppBundleId, objectPath, m_bus);
        owner.setTimeout(handOverTimeout);
        QDBusPendingReply<> answer = owner.Activate(arguments);
        answer.waitForFinished();
        if (!answer.isError())
            return Claim::HandedOver;
        m_failure = answer.error().message();
    }
    return Claim::Unanswered;
}

void SingleInstance::Activate(const QStringList &arguments)
{
    Q_EMIT activated(arguments);
}
