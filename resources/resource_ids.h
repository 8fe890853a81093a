#pragma once

// Resource numbers shared by DurvinProofControl.rc and the code that loads them. Plain defines:
// the resource compiler reads this file too.

// The program's own icon; the lowest number, so Explorer shows it for the executable.
#define IDI_DPC_APP 1

// Tray and menu images, in the order of the image indices (grey, red, green, shield).
#define IDI_DPC_GREY 101
#define IDI_DPC_RED 102
#define IDI_DPC_GREEN 103
#define IDI_DPC_SHIELD 104
