// The version every module that ships beside the installer carries. The last component is the
// build number the installer reads (2436: the installer's own build, so that a reinstall keeps
// an installed monitor of this build).
#pragma once

#define QUILL_VERSION_NUMBERS 1, 0, 0, 2436
#define QUILL_VERSION_TEXT "1.0.0.2436"
#define QUILL_BUILD_NUMBER 2436

// The file version of the printer driver's files: 0.3 for a version 3 printer driver, then the
// driver's own revision and the build.
#define QUILL_DRIVER_FILE_NUMBERS 0, 3, 1, 2436
#define QUILL_DRIVER_FILE_TEXT "0.3.1.2436"
