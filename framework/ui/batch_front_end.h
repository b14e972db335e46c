// The batch front end: nobody is there to answer. Message boxes go to standard error as
// "caption: text", questions take their safe default, dialogs run their queued timers and
// messages and then cancel, file dialogs cancel.
#pragma once

#include "framework/framework_export.h"
#include "framework/ui/front_end.h"

#include <cstdio>

class FRAMEWORK_API CBatchFrontEnd : public CFrontEnd {
public:
    explicit CBatchFrontEnd(std::FILE* out = stderr) : m_out(out) {}
    void RunModal(CDialog& dialog) override;
    int MessageBox(const char* text, const char* caption, UINT type) override;
    INT_PTR RunFileDialog(CFileDialog& dialog) override;
    INT_PTR RunPropertySheet(CPropertySheet& sheet) override;
    BOOL IsInteractive() const override { return FALSE; }

    // Boxes shown so far (the program's exit status may depend on them).
    int BoxCount() const { return m_boxes; }

private:
    std::FILE* m_out;
    int m_boxes = 0;
};
