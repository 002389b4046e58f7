// The tray program's entry: returns the process exit code.
#pragma once

int RunDispatcher();
