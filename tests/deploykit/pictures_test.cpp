// ShowBitmap and HideBitmap over an installer window with controls: which dialog and
// picture appear, where they and the controls go, and the picture's lifetime.
#include "tests/deploykit/deploykit_support.h"

#include "framework/ui/dialog_template.h"
#include "framework/ui/picture.h"
#include "framework/ui/window_layout.h"
#include "framework/window.h"

#include <dlfcn.h>
#include <set>

namespace {

struct Expected {
    LONG number;
    UINT dialogId;
    UINT bitmapId;
};

// Picture dialogs are 327 x 174 dialog units.
constexpr LONG kPictureWidth = (327 * AFX_DIALOG_BASE_X + 2) / 4;
constexpr LONG kPictureHeight = (174 * AFX_DIALOG_BASE_Y + 4) / 8;

RECT Rect(HWND hwnd)
{
    RECT r{};
    EXPECT_TRUE(GetWindowRect(hwnd, &r));
    return r;
}

class PicturesTest : public DeploykitTest {
protected:
    void SetUp() override
    {
        DeploykitTest::SetUp();
        if (HasFatalFailure())
            return;
        // The installer's window: 800 x 600 at (100, 40) on the screen, with two buttons
        // and a label at various heights.
        m_window = AfxCreateWindow([this](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
            if (message == WM_PAINT)
                ++m_paints;
            return 0;
        });
        MoveWindow(m_window, 100, 40, 800, 600, FALSE);
        ShowWindow(m_window, SW_SHOW);
        UpdateWindow(m_window);
        m_paints = 0;
        m_back = MakeChild(20, 500, 90, 24);
        m_next = MakeChild(690, 530, 90, 24);
        m_label = MakeChild(20, 10, 300, 40);
    }
    void TearDown() override
    {
        DeploykitTest::TearDown();
        for (HWND h : {m_back, m_next, m_label, m_window})
            if (h)
                DestroyWindow(h);
    }
    HWND MakeChild(int x, int y, int cx, int cy)
    {
        HWND h = AfxCreateWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
        SetParent(h, m_window);
        MoveWindow(h, x, y, cx, cy, FALSE);
        ShowWindow(h, SW_SHOW);
        return h;
    }
    // The child's place in the window's client coordinates.
    RECT ClientPlace(HWND child)
    {
        RECT r = Rect(child);
        POINT p{r.left, r.top};
        ScreenToClient(m_window, &p);
        return RECT{p.x, p.y, p.x + (r.right - r.left), p.y + (r.bottom - r.top)};
    }
    void ExpectControlsAtTheBottom()
    {
        // Client height 600: each bottom edge at 598, sizes and horizontal places kept.
        RECT back = ClientPlace(m_back), next = ClientPlace(m_next), label = ClientPlace(m_label);
        EXPECT_EQ(back.left, 20);
        EXPECT_EQ(back.top, 598 - 24);
        EXPECT_EQ(back.right - back.left, 90);
        EXPECT_EQ(next.left, 690);
        EXPECT_EQ(next.bottom, 598);
        EXPECT_EQ(label.left, 20);
        EXPECT_EQ(label.top, 598 - 40);
        EXPECT_EQ(label.right - label.left, 300);
    }
    LONG Show(LONG number) { return Call(Lib().ShowBitmap, m_window, number, nullptr); }
    LONG Hide() { return Call(Lib().HideBitmap, m_window, 0, nullptr); }

    PictureFrontEnd m_front;
    HWND m_window = nullptr;
    HWND m_back = nullptr, m_next = nullptr, m_label = nullptr;
    int m_paints = 0;
};

TEST_F(PicturesTest, EachNumberShowsItsDialogAndPicture)
{
    const Expected table[] = {{0, 130, 134}, {1, 131, 133}, {2, 134, 136}, {3, 133, 137}, {4, 132, 135}};
    for (const Expected& e : table) {
        SCOPED_TRACE(e.number);
        m_front.shown.clear();
        EXPECT_EQ(Show(e.number), 1);
        ASSERT_EQ(m_front.shown.size(), 1u);
        const auto& shown = m_front.shown[0];
        EXPECT_EQ(shown.templateId, e.dialogId);
        EXPECT_EQ(shown.controlCount, 1u);
        // The picture control names a picture of the library's own artwork.
        auto picture = AfxFindPicture(shown.pictureName);
        ASSERT_NE(picture, nullptr) << shown.pictureName;
        EXPECT_NE(shown.pictureName.Find(std::to_string(e.bitmapId).c_str()), -1);
        EXPECT_GT(picture->width, 0);
        EXPECT_EQ(picture->pixels.size(), static_cast<size_t>(picture->width) * picture->height);
        EXPECT_GE(std::set<DWORD>(picture->pixels.begin(), picture->pixels.end()).size(), 8u);

        // A child of the installer's window, centred, raised by 50, 2 pixels short.
        HWND dialog = shown.hwnd;
        EXPECT_EQ(GetParent(dialog), m_window);
        RECT r = ClientPlace(dialog);
        EXPECT_EQ(r.right - r.left, kPictureWidth);
        EXPECT_EQ(r.bottom - r.top, kPictureHeight - 2);
        EXPECT_EQ(r.left, (800 - kPictureWidth) / 2);
        EXPECT_EQ(r.top, (600 - kPictureHeight) / 2 - 50);
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(GetWindow(m_window, GW_CHILD), dialog);

        EXPECT_EQ(Hide(), 1);
        EXPECT_TRUE(m_front.open.empty());
        EXPECT_FALSE(IsWindow(dialog));
    }
}

TEST_F(PicturesTest, ControlsMoveToTheBottomAndTheWindowIsRepainted)
{
    EXPECT_EQ(Show(2), 1);
    ExpectControlsAtTheBottom();
    EXPECT_GE(m_paints, 1);
    // The picture itself was placed after the controls moved, and is not one of them.
    ASSERT_EQ(m_front.shown.size(), 1u);
    EXPECT_EQ(ClientPlace(m_front.shown[0].hwnd).top, (600 - kPictureHeight) / 2 - 50);
}

TEST_F(PicturesTest, AnUnknownNumberMovesTheControlsButShowsNothing)
{
    for (LONG number : {7, 5, -1}) {
        EXPECT_EQ(Show(number), 1);
        EXPECT_TRUE(m_front.shown.empty());
    }
    EXPECT_EQ(Lib().ShowBitmap(m_window, nullptr, nullptr), 1);
    ExpectControlsAtTheBottom();
    // Nothing to take away.
    EXPECT_EQ(Hide(), 1);
    EXPECT_TRUE(m_front.closed.empty());
}

TEST_F(PicturesTest, ASecondHideDoesNothing)
{
    EXPECT_EQ(Show(0), 1);
    EXPECT_EQ(Hide(), 1);
    EXPECT_EQ(m_front.closed.size(), 1u);
    EXPECT_EQ(Hide(), 1);
    EXPECT_EQ(m_front.closed.size(), 1u);
    EXPECT_TRUE(m_front.open.empty());
}

TEST_F(PicturesTest, ANewPictureReplacesTheOneShowing)
{
    EXPECT_EQ(Show(0), 1);
    EXPECT_EQ(Show(1), 1);
    ASSERT_EQ(m_front.shown.size(), 2u);
    EXPECT_EQ(m_front.closed, std::vector<UINT>{130});
    ASSERT_EQ(m_front.open.size(), 1u);
    EXPECT_EQ(m_front.open.begin()->second, 131u);
    // The controls were not pushed about by the old picture.
    ExpectControlsAtTheBottom();
    EXPECT_EQ(Hide(), 1);
    EXPECT_TRUE(m_front.open.empty());
}

TEST_F(PicturesTest, WorksWithoutAnInstallerWindow)
{
    LONG number = 3;
    EXPECT_EQ(Lib().ShowBitmap(nullptr, &number, nullptr), 1);
    ASSERT_EQ(m_front.shown.size(), 1u);
    EXPECT_EQ(GetParent(m_front.shown[0].hwnd), nullptr);
    EXPECT_EQ(Hide(), 1);
    EXPECT_TRUE(m_front.open.empty());
}

TEST_F(PicturesTest, AnotherModulesTemplateKeepsItsPlace)
{
    static const DialogTemplate hostTemplate{131, "Host dialog", {ControlTemplate{1, ControlKind::Static, "host"}}};
    const DialogTemplate* before = AfxFindDialogTemplate(131);
    AfxRegisterDialogTemplate(&hostTemplate);
    EXPECT_EQ(Show(1), 1);
    ASSERT_EQ(m_front.shown.size(), 1u);
    EXPECT_EQ(m_front.shown[0].templateId, 131u);
    EXPECT_FALSE(m_front.shown[0].pictureName.IsEmpty());
    EXPECT_EQ(AfxFindDialogTemplate(131), &hostTemplate);
    EXPECT_EQ(Hide(), 1);
    if (before)
        AfxRegisterDialogTemplate(before);
}

TEST_F(PicturesTest, ThePictureKeepsTheLibraryLoaded)
{
    // The installer may let go of the library while the picture is up, and load it again
    // to take the picture away.
    HMODULE mine = LoadLibraryA(QM_DEPLOYKIT_LIBRARY);
    ASSERT_NE(mine, nullptr);
    auto show = reinterpret_cast<DeploykitEntry>(GetProcAddress(mine, "ShowBitmap"));
    LONG number = 4;
    EXPECT_EQ(show(m_window, &number, nullptr), 1);
    // Three references now: the tests', ours and the picture's. Each dlopen with
    // RTLD_NOLOAD takes one more, given back at once.
    EXPECT_TRUE(FreeLibrary(mine));
    void* probe = ::dlopen(QM_DEPLOYKIT_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(probe, nullptr);
    ::dlclose(probe);
    EXPECT_EQ(Hide(), 1);
    EXPECT_TRUE(m_front.open.empty());
}

} // namespace
