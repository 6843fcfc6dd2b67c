#pragma once
// <windows.h> for the game's own code: its RGB macro would hide the game's RGB function.
#include <windows.h>
#undef RGB
