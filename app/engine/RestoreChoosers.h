#pragma once

// The two folder choosers of restore mode, with their prompts: where to
// restore from, then where to restore to. An empty answer means the user
// cancelled.

#include <QString>

class PromptView;

namespace RestoreChoosers {

QString chooseSource(PromptView &view);
QString chooseDestination(PromptView &view);

} // namespace RestoreChoosers
