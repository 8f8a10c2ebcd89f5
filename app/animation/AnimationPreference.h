#pragma once

// The "showAnimation" preference as the transfer strip uses it, read from
// and written to the shared defaults suite on every call, so a change made
// in the preferences or by another process shows at the next redraw.

namespace AnimationPreference {

// Whether the strip is drawn: true when stored as true or not stored at all.
bool isShown();

// A click on the strip: reads the stored value as a bool (not stored counts
// as false), stores its negation and writes the suite to disk at once.
// Returns the value now stored. So the first click of a new installation
// stores true and the strip stays visible; every later click flips it.
bool toggle();

} // namespace AnimationPreference
