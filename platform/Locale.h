#pragma once
// The user's regional decimal separator, for the windows and start-up; kept in the core
// (data/Locale.h), where the number syntax reads it.
#include "data/Locale.h"
