// The desktop front end as a module that the program loads only when it shows windows, so
// that runs without a desktop (batch, terminal) never map the toolkit. Nothing here needs
// the toolkit's headers.
#pragma once

class CFrontEnd;

// Makes the front end (and the toolkit's application object): the file whose appearance
// closes the outermost window (empty: none), and whether the first paint is reported on
// standard error. argc and argv must outlive it. Null when no display answers.
using QmCreateDesktopFrontEndFn = CFrontEnd* (*)(int* argc, char** argv, const char* closeRequest, int reportFirstPaint);
using QmDestroyDesktopFrontEndFn = void (*)(CFrontEnd* frontEnd);
constexpr const char* kQmCreateDesktopFrontEnd = "QmCreateDesktopFrontEnd";
constexpr const char* kQmDestroyDesktopFrontEnd = "QmDestroyDesktopFrontEnd";
