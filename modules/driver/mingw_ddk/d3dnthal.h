// See ddrawint.h beside this file: winddi.h needs nothing of Direct3D's driver header.
#pragma once
