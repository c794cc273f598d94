// Resource ids shared by TovikScan.rc and the code that loads them (plain defines: the resource
// compiler reads this file too).
#pragma once

// The application icon: the first icon group, so Explorer shows it for the program file.
#define IDI_TOVIKSCAN 1
