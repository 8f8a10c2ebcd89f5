#include "TaskFactory.h"

namespace {

class SystemTaskFactory final : public TaskFactory
{
public:
    std::unique_ptr<MFTask> makeTask() const override { return std::make_unique<MFTask>(); }
};

} // namespace

const TaskFactory &TaskFactory::system()
{
    static const SystemTaskFactory factory;
    return factory;
}
