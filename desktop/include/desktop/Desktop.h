// Every public header of the desktop services.
#pragma once

#include "desktop/Drawing.h"
#include "desktop/Panel.h"
#include "desktop/Pasteboard.h"
#include "desktop/RunLoop.h"
#include "desktop/Status.h"
#include "desktop/System.h"
#include "desktop/Window.h"
#include "desktop/Workspace.h"
