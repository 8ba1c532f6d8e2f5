#pragma once
// Moved to core/; kept so that code written against the old place still
// builds.
#include "core/child_form.h"
