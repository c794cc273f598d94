// Compiles the record header on its own, so its layout checks run in every build.
#include "twain/TwainRecords.h"
