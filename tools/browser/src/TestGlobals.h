// Test-only globals in the manner of browser layout tests:
// testRunner (waitUntilDone, notifyDone), eventSender (drops, mouse, focus,
// scroll, paint, destroy, invalidations) and user (panel answers, panels and
// alerts shown).
#pragma once

namespace Browser {

class Page;

void installTestGlobals(Page& page);

}  // namespace Browser
