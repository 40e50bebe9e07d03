// Keeps the support library non-empty; the helpers are header-only.
#include "support/RecordingDialogs.h"
#include "support/RecordingView.h"
