// The start-up check, driver check and make-default commands; they run without a context.
#pragma once

// True when 64-bit component files still wait for deletion at the next restart.
bool ComponentsPendingCheck();
// True unless the user's default printer is a printer of the product's driver.
bool DefaultPrinterCheck();
// True when the driver of the product's first printer has build 2416 or later.
bool DriverBuildCheck();
// Makes the product's first printer the default printer.
void MakeDefaultPrinter();
