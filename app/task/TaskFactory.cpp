#include "TaskFactory.h"

#include "ProcessTask.h"

namespace {

class SystemTaskFactory final : public TaskFactory
{
public:
    std::unique_ptr<MFTask> makeTask() const override { return std::make_unique<ProcessTask>(); }
};

} // namespace

const TaskFactory &TaskFactory::system()
{
    static const SystemTaskFactory factory;
    return factory;
}
