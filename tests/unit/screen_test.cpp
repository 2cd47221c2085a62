// The screen on the headless platform: mode changes and their results, the
// draw target and its clipping, clearing, reading pixels back, presentation
// and the vertical-blank pacing, and the surfaces coming back after the
// display was lost.
#include "core/core.h"
#include "draw/draw_state.h"
#include "draw/screen.h"
#include "graphics/color.h"
#include "graphics/graph.h"
#include "graphics/load.h"
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <regex>
#include <string>
#include <utility>

namespace {

class ScreenTest : public LibraryTest {
protected:

    static void FillBack(uint32_t value) {
        PlatSurface* back = gScreenState.back;
        ASSERT_EQ(PlatFillSurfaceRect(back, 0, 0, back->width, back->height, value), 0);
    }
};

void ExpectArea(int left, int top, int right, int bottom) {
    EXPECT_EQ(gDraw.drawArea.left, left);
    EXPECT_EQ(gDraw.drawArea.top, top);
    EXPECT_EQ(gDraw.drawArea.right, right);
    EXPECT_EQ(gDraw.drawArea.bottom, bottom);
}

// ---------------------------------------------------------------------------
// Modes
// ---------------------------------------------------------------------------

TEST_F(ScreenTest, FullScreenStartsAtTheRequestedDepthShowingABlackFrame) {
    EXPECT_EQ(SetScreenMode(640, 480, 16, -1), 0);
    Start();
    EXPECT_EQ(ScreenDepth(), 16);
    EXPECT_EQ(GetScreenFormat()->redMask, 0xF800u);
    EXPECT_EQ(gDraw.target, TargetFront);
    ExpectArea(0, 0, 640, 480);
    EXPECT_GE(HeadlessPresentCount(), 1);
    EXPECT_EQ(HeadlessFramePixel(639, 479), 0);
    EXPECT_EQ(GetPresentCount(), 0u);

    std::string log = ReadLogUtf8();
    size_t start = log.find("画面モード変更処理を開始します");
    size_t colours = log.find("A:00000000  B:0000f800  G:000007e0  B:0000001f");
    size_t graphics = log.find("グラフィック管理系の初期化は正常に終了しました");
    size_t end = log.find("画面モード変更処理は正常に終了しました");
    EXPECT_LT(start, colours);
    EXPECT_LT(colours, graphics);
    EXPECT_LT(graphics, end);
    EXPECT_NE(end, std::string::npos);
}

TEST_F(ScreenTest, EachModeChangeLogsItsCopyAndFrameMeasurements) {
    Start();
    ASSERT_EQ(SetScreenMode(320, 240, 16, -1), 0);
    std::string log = ReadLogUtf8();
    // The block copy is timed; the method this platform lacks never wins.
    const std::regex copy("サーフェス間転送には BltFast を使用します\n"
                          "[0-9]+:\t*BitBlt:infμs   BltFast:[0-9]+μs\n");
    const std::regex frame("１フレーム当たりの時間は 16 msecです\n"
                           "[0-9]+:\t*\tTri00:16 msec\n[0-9]+:\t*\tTri01:16 msec\n"
                           "[0-9]+:\t*\tTri02:16 msec\n[0-9]+:\t*\tTri03:16 msec\n"
                           "[0-9]+:\t*画面モード変更処理は正常に終了しました");
    auto count = [&](const std::regex& pattern) {
        return std::distance(std::sregex_iterator(log.begin(), log.end(), pattern),
                             std::sregex_iterator());
    };
    EXPECT_EQ(count(copy), 2) << log;
    EXPECT_EQ(count(frame), 2);
    EXPECT_EQ(gScreenState.frameMs, 16);
}

TEST_F(ScreenTest, WindowModeTakesTheDesktopDepthAndKeepsIt) {
    EXPECT_EQ(SetScreenMode(640, 480, 16, -1), 0);
    Start(true);
    EXPECT_EQ(ScreenDepth(), 32);
    EXPECT_EQ(GetScreenFormat()->ColorBitDepth, 32);
    EXPECT_EQ(MakeColor(255, 0, 0) & 0xFFFFFF, 0xFF0000u);
    // Asking for 16 bits again rebuilds the screen, which stays at 32.
    EXPECT_EQ(SetScreenMode(640, 480, 16, -1), -1);
    EXPECT_EQ(ScreenDepth(), 32);
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "画面モード変更処理は正常に終了しました"), 2);
}

TEST_F(ScreenTest, TheCurrentModeReturnsZeroWithoutARebuildButStillFreesGraphs) {
    Start();
    int graph = CreateEmptyGraph(8, 8, 0, 0);
    ASSERT_GE(graph, 0);
    PlatSurface* back = gScreenState.back;
    EXPECT_EQ(SetScreenMode(640, 480, 16, 0), 0);
    EXPECT_EQ(GetGraphDimensions(graph, nullptr, nullptr), -1);
    EXPECT_EQ(gScreenState.back, back);
    EXPECT_EQ(Occurrences(ReadLogUtf8(), "画面モード変更処理を開始します"), 1);
}

TEST_F(ScreenTest, AModeChangeRebuildsTheScreenAtTheNewSize) {
    Start();
    int graph = CreateEmptyGraph(8, 8, 0, 0);
    SetDrawTarget(TargetBack);
    EXPECT_EQ(SetScreenMode(800, 600, 16, -1), 0);
    EXPECT_EQ(GetGraphDimensions(graph, nullptr, nullptr), -1);
    int width = 0, height = 0;
    GetGraphDimensions(TargetBack, &width, &height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    // Graphics management starts afresh on the front buffer.
    EXPECT_EQ(gDraw.target, TargetFront);
    ExpectArea(0, 0, 800, 600);
    EXPECT_EQ(gScreenState.back->width, 800);
    SetDrawTarget(TargetBack);
    PresentScreen();
    EXPECT_NE(HeadlessFramePixel(799, 599), -1);
    EXPECT_EQ(HeadlessFramePixel(800, 0), -1);
}

TEST_F(ScreenTest, ASecondChangeWithinTwoSecondsWaitsUntilTwoPointOSixSecondsHavePassed) {
    Start();
    int first = gScreenState.lastModeChangeMs;
    ASSERT_EQ(SetScreenMode(800, 600, 16, -1), 0);
    EXPECT_GE(gScreenState.lastModeChangeMs - first, 2060);
    EXPECT_LT(gScreenState.lastModeChangeMs - first, 2100);
    // Once two seconds have gone by, the settling wait is 60 ms.
    WaitMs(2500);
    int before = GetTickMs(0);
    ASSERT_EQ(SetScreenMode(640, 480, 16, -1), 0);
    EXPECT_GE(gScreenState.lastModeChangeMs - before, 60);
    EXPECT_LT(gScreenState.lastModeChangeMs - before, 100);
}

TEST_F(ScreenTest, ModesTheDisplayCannotShowFallBackToThePreviousOne) {
    Start();
    // Larger than the 1920 x 1080 desktop, an unknown depth, a refresh rate
    // the display does not run at.
    EXPECT_EQ(SetScreenMode(4000, 3000, 16, -1), -1);
    EXPECT_EQ(ScreenWidth(), 640);
    EXPECT_EQ(ScreenHeight(), 480);
    EXPECT_EQ(SetScreenMode(-1, -1, 12, -1), -1);
    EXPECT_EQ(ScreenDepth(), 16);
    EXPECT_EQ(SetScreenMode(-1, -1, -1, 75), -1);
    EXPECT_EQ(gScreen.refresh, 0);
    EXPECT_EQ(SetScreenMode(-1, -1, -1, 60), 0);
}

TEST_F(ScreenTest, SettingsBeforeTheLibraryStartsAreOnlyStored) {
    EXPECT_EQ(SetScreenMode(800, 600, 32, -1), 0);
    EXPECT_EQ(ScreenWidth(), 800);
    EXPECT_EQ(ScreenDepth(), 32);
    EXPECT_EQ(DisplayExists(), 0);
    EXPECT_EQ(ReadScreenPixel(0, 0), -1);
    EXPECT_EQ(PresentScreen(), -1);
    EXPECT_EQ(SetDrawTarget(TargetBack), -1);
    Start();
    EXPECT_EQ(GetScreenFormat()->ColorBitDepth, 32);
    EXPECT_EQ(gScreenState.back->width, 800);
}

TEST_F(ScreenTest, FifteenBitsAskForAFiveFiveFiveScreen) {
    Start();
    EXPECT_EQ(SetScreenMode(640, 480, 15, 0), 0);
    EXPECT_EQ(GetScreenFormat()->ColorBitDepth, 16);
    EXPECT_EQ(GetScreenFormat()->redMask, 0x7C00u);
    EXPECT_EQ(MakeColor(255, 255, 255), 0xFFFFu);
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(255, 0, 0));
    EXPECT_EQ(ReadScreenPixel(3, 3), 0xFC00);
    PresentScreen();
    EXPECT_EQ(HeadlessFramePixel(3, 3), 0xFF0000);
}

TEST_F(ScreenTest, AnEightBitScreenIsShownThroughItsPalette) {
    Start();
    ASSERT_EQ(SetScreenMode(640, 480, 8, 0), 0);
    SetDrawTarget(TargetBack);
    uint32_t red = MakeColor(255, 0, 0), teal = MakeColor(0, 128, 128);
    ASSERT_NE(red, teal);
    FillBack(red);
    PlatFillSurfaceRect(gScreenState.back, 0, 0, 1, 1, teal);
    EXPECT_EQ(ReadScreenPixel(5, 5), static_cast<int>(red));
    PresentScreen();
    EXPECT_EQ(HeadlessFramePixel(5, 5), 0xFF0000);
    PaletteEntry e = gColor.palette[teal];
    EXPECT_EQ(HeadlessFramePixel(0, 0), int64_t{e.red} << 16 | e.green << 8 | e.blue);
}

// ---------------------------------------------------------------------------
// Draw target and clipping
// ---------------------------------------------------------------------------

TEST_F(ScreenTest, TheClipRectangleIsOrderedAndClampedToTheTarget) {
    Start();
    SetDrawTarget(TargetBack);
    EXPECT_EQ(SetClipRect(500, 400, 100, 50), 0);
    ExpectArea(100, 50, 500, 400);
    EXPECT_EQ(gDraw.drawAreaEmpty, 0);
    SetClipRect(-10, -10, 9999, 9999);
    ExpectArea(0, 0, 640, 480);
    SetClipRect(5, 5, 5, 100);
    EXPECT_EQ(gDraw.drawAreaEmpty, 1);
    SetClipRect(5, 5, 6, 100);
    EXPECT_EQ(gDraw.drawAreaEmpty, 0);

    int graph = CreateEmptyGraph(32, 16, 0, 0);
    SetDrawTarget(graph);
    SetClipRect(-5, 4, 100, 100);
    ExpectArea(0, 4, 32, 16);
}

TEST_F(ScreenTest, AnEmptyClipRectangleMakesDrawingANoOp) {
    Start();
    SetDrawTarget(TargetBack);
    int graph = CreateEmptyGraph(4, 4, 0, 0);
    FillSurfaceData(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface, 255, 255, 255,
                    255);
    SetClipRect(5, 5, 5, 100);
    EXPECT_EQ(DrawGraph(5, 5, graph, 0), 0);
    EXPECT_EQ(ReadScreenPixel(5, 5), 0);
    SetClipRect(0, 0, 640, 480);
    EXPECT_EQ(DrawGraph(5, 5, graph, 0), 0);
    EXPECT_EQ(ReadScreenPixel(5, 5), 0xFFFF);
}

TEST_F(ScreenTest, SwitchingTargetsKeepsTheAreaOnlyBetweenEqualSizes) {
    Start();
    SetDrawTarget(TargetBack);
    SetClipRect(10, 20, 30, 40);
    EXPECT_EQ(SetDrawTarget(TargetFront), 0);
    ExpectArea(10, 20, 30, 40);
    int small = CreateEmptyGraph(32, 32, 0, 0);
    int other = CreateEmptyGraph(32, 32, 0, 0);
    EXPECT_EQ(SetDrawTarget(small), 0);
    ExpectArea(0, 0, 32, 32);
    EXPECT_EQ(gDraw.targetWidth, 32);
    SetClipRect(1, 2, 3, 4);
    SetDrawTarget(other);
    ExpectArea(1, 2, 3, 4);
    SetDrawTarget(TargetBack);
    ExpectArea(0, 0, 640, 480);
    EXPECT_EQ(gDraw.drawSurface, gScreenState.back);
    EXPECT_NE(gDraw.targetInVideoMemory, 0);
}

TEST_F(ScreenTest, TargetsThatNameNoGraphAreRefusedOrLeaveThePreviousTarget) {
    Start();
    SetDrawTarget(TargetBack);
    // A bare slot number with no graph there.
    EXPECT_EQ(SetDrawTarget(5), -1);
    EXPECT_EQ(gDraw.target, TargetBack);
    int graph = CreateEmptyGraph(16, 16, 0, 0);
    FreeGraphHandle(graph, 0);
    EXPECT_EQ(SetDrawTarget(graph), 0);
    EXPECT_EQ(gDraw.target, TargetBack);
    EXPECT_EQ(gDraw.drawSurface, gScreenState.back);
}

// However a graph that is the draw target goes, drawing moves to the whole
// back buffer: nothing drawn afterwards may reach the freed surface.
TEST_F(ScreenTest, FreeingTheTargetGraphMovesDrawingToTheWholeBackBuffer) {
    struct Route {
        const char* name;
        void (*free)(int graph);
    };
    const Route routes[] = {
        {"FreeGraphHandle", [](int graph) { EXPECT_EQ(FreeGraphHandle(graph, 0), 0); }},
        {"FreeAllGraphHandles", [](int) { EXPECT_EQ(FreeAllGraphHandles(0), 0); }},
        {"SetScreenMode with the current values",
         [](int) { EXPECT_EQ(SetScreenMode(-1, -1, -1, -1), 0); }},
    };
    Start();
    for (const Route& route : routes) {
        SCOPED_TRACE(route.name);
        int target = CreateEmptyGraph(32, 16, 0, 0);
        ASSERT_EQ(SetDrawTarget(target), 0);
        SetClipRect(4, 4, 8, 8);
        route.free(target);
        ASSERT_EQ(GetGraphDimensions(target, nullptr, nullptr), -1);
        EXPECT_EQ(gDraw.target, TargetBack);
        EXPECT_EQ(gDraw.drawSurface, gScreenState.back);
        EXPECT_EQ(gDraw.targetWidth, 640);
        EXPECT_EQ(gDraw.targetHeight, 480);
        ExpectArea(0, 0, 640, 480);

        FillBack(0xFFFF);
        EXPECT_EQ(ClearDrawTarget(), 0);
        EXPECT_EQ(ReadScreenPixel(639, 479), 0);
        int white = CreateEmptyGraph(4, 4, 0, 0);
        FillSurfaceData(GetBmpDataRecord(GetGraphRecord(white)->pieces[0])->surface, 255, 255,
                        255, 0);
        EXPECT_EQ(DrawGraph(100, 100, white, 0), 0);
        EXPECT_EQ(ReadScreenPixel(101, 101), 0xFFFF);
        EXPECT_EQ(DrawRotaGraph(200, 200, 1.0, 0.0, white, 0, 0), 0);
        EXPECT_EQ(ReadScreenPixel(200, 200), 0xFFFF);
        EXPECT_EQ(DrawTextString(300, 300, "W", MakeColor(255, 255, 255), 0), 0);
        int lit = 0;
        for (int y = 300; y < 320; ++y)
            for (int x = 300; x < 320; ++x) lit += ReadScreenPixel(x, y) != 0;
        EXPECT_GT(lit, 0);
        FreeGraphHandle(white, 0);
    }
}

TEST_F(ScreenTest, ALockedScreenSurfaceSuspendsDrawing) {
    Start();
    SetDrawTarget(TargetBack);
    SetClipRect(1, 1, 2, 2);
    int pitch;
    uint8_t* pixels;
    ASSERT_EQ(LockGraphSurface(TargetBack, &pitch, &pixels), 0);
    EXPECT_EQ(SetDrawTarget(TargetFront), 0);
    EXPECT_EQ(gDraw.target, TargetBack);
    EXPECT_EQ(SetClipRect(0, 0, 640, 480), 0);
    ExpectArea(1, 1, 2, 2);
    pixels[0] = 0xFF;
    EXPECT_EQ(ReadScreenPixel(0, 0), 0);
    EXPECT_EQ(ClearDrawTarget(), 0);
    EXPECT_EQ(pixels[0], 0xFF);
    UnlockGraphSurface(TargetBack);
    EXPECT_EQ(ReadScreenPixel(0, 0), 0xFF);
}

TEST_F(ScreenTest, BlendStateRules) {
    EXPECT_EQ(SetBlendState(BlendAdd, 10), -1);  // before InitLibrary
    Start();
    // {mode, amount, result, mode after, amount after}, each from BlendAlpha, 100.
    const int rows[][5] = {
        {BlendAlpha, 300, 0, BlendAlpha, 255}, {BlendAdd, -4, 0, BlendAdd, 0},
        {BlendMultiply, INT_MAX, 0, BlendMultiply, 255}, {BlendNone, 0, 0, BlendNone, 0},
        {7, 50, 0, BlendAlpha, 100}, {5, 50, -1, BlendAlpha, 100},
        {INT_MIN, 50, -1, BlendAlpha, 100}};
    int mode, amount, pitch;
    uint8_t* pixels;
    for (const auto& r : rows) {
        ASSERT_EQ(SetBlendState(BlendAlpha, 100), 0);
        EXPECT_EQ(SetBlendState(r[0], r[1]), r[2]) << r[0];
        GetBlendState(&mode, &amount);
        EXPECT_EQ(std::pair(mode, amount), std::pair(r[3], r[4])) << r[0];
    }
    ASSERT_EQ(LockGraphSurface(TargetBack, &pitch, &pixels), 0);
    EXPECT_EQ(SetBlendState(BlendAdd, 5), 0);  // suspended: nothing changes
    UnlockGraphSurface(TargetBack);
    GetBlendState(&mode, nullptr);
    EXPECT_EQ(mode, BlendAlpha);
    ASSERT_EQ(SetScreenMode(320, 240, 16, -1), 0);  // a mode change resets it
    GetBlendState(&mode, &amount);
    EXPECT_EQ(std::pair(mode, amount), std::pair(BlendNone, 0));
}

// ---------------------------------------------------------------------------
// Clearing and reading back
// ---------------------------------------------------------------------------

TEST_F(ScreenTest, PixelsReadBackRawAndOnlyInsideTheScreen) {
    Start();
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(255, 255, 255));
    EXPECT_EQ(ReadScreenPixel(0, 0), 0xFFFF);
    EXPECT_EQ(ReadScreenPixel(639, 479), 0xFFFF);
    EXPECT_EQ(ReadScreenPixel(640, 0), -1);
    EXPECT_EQ(ReadScreenPixel(0, 480), -1);
    EXPECT_EQ(ReadScreenPixel(-1, 0), -1);
    PlatFillSurfaceRect(gScreenState.back, 7, 9, 8, 10, MakeColor(0, 255, 0));
    EXPECT_EQ(ReadScreenPixel(7, 9), 0x07E0);

    // A graph target is read at the screen's bounds, within its own surface.
    int graph = CreateEmptyGraph(16, 16, 0, 0);
    SetDrawTarget(graph);
    FillSurfaceData(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface, 0, 0, 255, 0);
    EXPECT_EQ(ReadScreenPixel(15, 15), 0x001F);
    EXPECT_EQ(ReadScreenPixel(100, 100), 0);
}

TEST_F(ScreenTest, ThirtyTwoBitPixelsReadBackAsStored) {
    Start(true);
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(18, 52, 86));
    EXPECT_EQ(static_cast<uint32_t>(ReadScreenPixel(2, 2)), MakeColor(18, 52, 86));
    EXPECT_EQ(static_cast<uint32_t>(ReadScreenPixel(2, 2)) & 0xFFFFFF, 0x123456u);
}

TEST_F(ScreenTest, ClearingFillsTheTargetWithZero) {
    Start();
    SetDrawTarget(TargetBack);
    FillBack(0xFFFF);
    SetClipRect(10, 10, 20, 20);
    EXPECT_EQ(ClearDrawTarget(), 0);
    EXPECT_EQ(ReadScreenPixel(0, 0), 0);
    EXPECT_EQ(ReadScreenPixel(639, 479), 0);

    int graph = CreateEmptyGraph(8, 8, 0, 0);
    FillSurfaceData(GetBmpDataRecord(GetGraphRecord(graph)->pieces[0])->surface, 255, 255, 255,
                    0);
    SetDrawTarget(graph);
    EXPECT_EQ(ReadScreenPixel(7, 7), 0xFFFF);
    EXPECT_EQ(ClearDrawTarget(), 0);
    EXPECT_EQ(ReadScreenPixel(7, 7), 0);
}

// ---------------------------------------------------------------------------
// Presentation
// ---------------------------------------------------------------------------

TEST_F(ScreenTest, PresentingShowsTheBackBufferOnTheNextBlank) {
    Start();
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(255, 255, 255));
    PlatFillSurfaceRect(gScreenState.back, 3, 4, 4, 5, MakeColor(0, 0, 255));
    int shown = HeadlessPresentCount();
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(HeadlessPresentCount(), shown + 1);
    EXPECT_EQ(HeadlessFramePixel(0, 0), 0xFFFFFF);
    EXPECT_EQ(HeadlessFramePixel(3, 4), 0x0000FF);
    EXPECT_EQ(GetPresentCount(), 1u);
    // The flip leaves the back buffer as it was.
    EXPECT_EQ(ReadScreenPixel(0, 0), 0xFFFF);
    // The vertical-blank wait ends on a 1/60 s boundary of the clock.
    uint64_t now = HeadlessNowUs();
    EXPECT_LT(now * 60 % 1000000, 60u);
}

TEST_F(ScreenTest, WithTheFrontBufferAsTargetPresentingCopiesNothing) {
    Start();
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(255, 255, 255));
    SetDrawTarget(TargetFront);
    uint64_t before = HeadlessNowUs();
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_GT(HeadlessNowUs(), before);
    EXPECT_EQ(GetPresentCount(), 1u);
    EXPECT_EQ(ReadScreenPixel(0, 0), 0);
    EXPECT_EQ(HeadlessFramePixel(0, 0), 0);
}

TEST_F(ScreenTest, WindowedPresentsSleepPartOfAFrameBeforeTheBlank) {
    Start(true);
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(0, 255, 0));
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_EQ(HeadlessFramePixel(639, 479), 0x00FF00);
    int first = gScreenState.lastPresentMs;
    ASSERT_EQ(PresentScreen(), 0);
    // 9 ms of sleep after a 16 ms frame, then the next blank.
    EXPECT_GE(gScreenState.lastPresentMs - first, 9);
    EXPECT_LE(gScreenState.lastPresentMs - first, 9 + 17);
    EXPECT_EQ(GetPresentCount(), 2u);
    SetPresentVSync(0);
    int unpaced = GetTickMs(0);
    ASSERT_EQ(PresentScreen(), 0);
    EXPECT_LT(GetTickMs(0) - unpaced, 9);
}

TEST_F(ScreenTest, AModeChangeResetsThePresentCount) {
    Start();
    SetDrawTarget(TargetBack);
    PresentScreen();
    PresentScreen();
    EXPECT_EQ(GetPresentCount(), 2u);
    SetScreenMode(800, 600, 16, 0);
    EXPECT_EQ(GetPresentCount(), 0u);
}

// ---------------------------------------------------------------------------
// Losing the display
// ---------------------------------------------------------------------------

TEST_F(ScreenTest, TheScreenComesBackAfterTheDisplayWasLost) {
    Start();
    SetDrawTarget(TargetBack);
    HeadlessLoseDisplay();
    EXPECT_EQ(ScreenSurfacesLost(), 1);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(ScreenSurfacesLost(), 0);
    EXPECT_EQ(gCore.active, 1);
    EXPECT_EQ(gCore.lost, 0);
    // Drawing goes on where it did.
    EXPECT_EQ(gDraw.target, TargetBack);
    FillBack(MakeColor(255, 255, 255));
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(HeadlessFramePixel(1, 1), 0xFFFFFF);
}

TEST_F(ScreenTest, AWindowThatLostItsDisplayGetsItBackOnReactivation) {
    Start(true);
    HeadlessLoseDisplay();
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(ScreenSurfacesLost(), 0);
    SetDrawTarget(TargetBack);
    FillBack(MakeColor(0, 0, 255));
    EXPECT_EQ(PresentScreen(), 0);
    EXPECT_EQ(HeadlessFramePixel(1, 1), 0x0000FF);
}

TEST_F(ScreenTest, WithoutARestoreHandlerLosingTheFullScreenDisplayCloses) {
    Start();
    gGraphics.restore = nullptr;
    HeadlessLoseDisplay();
    int pumps = 0;
    while (PumpMessages() == 0 && ++pumps < 10) {
    }
    EXPECT_LT(pumps, 10);
    EXPECT_NE(ReadLogUtf8().find("復元関数が登録されていないため終了します"), std::string::npos);
}

}  // namespace
