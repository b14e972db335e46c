#include "frontend_qt/desktop_module.h"

#include "frontend_qt/qt_front_end.h"

extern "C" CFrontEnd* QmCreateDesktopFrontEnd(int* argc, char** argv, const char* closeRequest, int reportFirstPaint)
{
    auto* frontEnd = new CQtFrontEnd(*argc, argv);
    frontEnd->SetCloseRequestFile(closeRequest);
    frontEnd->ReportFirstPaint(reportFirstPaint != 0);
    return frontEnd;
}

extern "C" void QmDestroyDesktopFrontEnd(CFrontEnd* frontEnd) { delete frontEnd; }
