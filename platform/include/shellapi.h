#pragma once
#include <windows.h>
#include "ce/shortcut.h"
#include "ce/shfileinfo.h"
