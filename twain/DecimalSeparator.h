// The decimal separator of the user's locale, with which capability texts write fixed-point values.
// It is read once on first use and read again when Windows announces changed settings.
#pragma once

// The separator currently held ('.' when the locale gives none).
char DecimalSeparator();

// Reads the separator again from the thread's locale; called on WM_SETTINGCHANGE.
void RefreshDecimalSeparator();
