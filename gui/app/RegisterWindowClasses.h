#pragma once

// Makes every window class of the program creatable by name (WindowClasses). Safe to call
// more than once.
void RegisterWindowClasses();
