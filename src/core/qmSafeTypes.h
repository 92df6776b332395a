#pragma once
// The value types of a Safe that the front ends use beside TqmGlobal, so that the desktop reaches
// nothing below the core for them: the text key a Safe is opened with (TTextKey), the kind of a Safe
// (TqmSafeKind) and its key derivation (TKeyDerivation), and the progress callback of long
// operations (TqmProgress).
#include "container/KeyDerivation.h"
#include "container/TextKey.h"
#include "safe/qmProgress.h"
#include "safe/qmSFSWrapper.h"
