// Resource identifiers shared by the .rc file and the program.
#pragma once

#define IDI_DORVANE 1
#define IDR_BANNER 101
#define IDR_FORM1_DESIGN 102
