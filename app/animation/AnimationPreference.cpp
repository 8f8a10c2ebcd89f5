#include "AnimationPreference.h"

#include "SharedDefaults.h"

namespace AnimationPreference {

bool isShown()
{
    return SharedDefaults::showAnimation(*getUserDefaults());
}

bool toggle()
{
    const auto defaults = getUserDefaults();
    const bool shown = !defaults->value(DefaultsKey::showAnimation, false).toBool();
    defaults->setValue(DefaultsKey::showAnimation, shown);
    defaults->sync();
    return shown;
}

} // namespace AnimationPreference
