// A front-end header that reaches into an engine: the check must refuse it.
#include "engine/session.h"
