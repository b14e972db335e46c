#include "frontend_qt/desktop_module.h"

#include "frontend_qt/qt_front_end.h"

#include <QGuiApplication>

#include <cstdlib>
#include <string>

namespace {

// The platforms to try when the user named none: the session's displays, then one that
// nobody sees. The toolkit aborts the process when no platform starts; with the last one
// it always starts, and landing there means that no display answered.
std::string PlatformsToTry()
{
    std::string list;
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
        list += "wayland;";
    if (const char* x = std::getenv("DISPLAY"); x && *x)
        list += "xcb;";
    return list + "offscreen";
}

}  // namespace

extern "C" CFrontEnd* QmCreateDesktopFrontEnd(int* argc, char** argv, const char* closeRequest, int reportFirstPaint)
{
    const bool named = std::getenv("QT_QPA_PLATFORM") != nullptr;
    if (!named)
        ::setenv("QT_QPA_PLATFORM", PlatformsToTry().c_str(), 1);
    auto* frontEnd = new CQtFrontEnd(*argc, argv);
    if (!named) {
        ::unsetenv("QT_QPA_PLATFORM");   // not passed on to programs started from here
        if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
            delete frontEnd;
            return nullptr;
        }
    }
    frontEnd->SetCloseRequestFile(closeRequest);
    frontEnd->ReportFirstPaint(reportFirstPaint != 0);
    return frontEnd;
}

extern "C" void QmDestroyDesktopFrontEnd(CFrontEnd* frontEnd) { delete frontEnd; }
