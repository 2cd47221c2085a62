// The library's start and end, its window messages and the pump, on the
// headless platform.
#include "core/core.h"
#include "platform/device/headless/headless.h"
#include "support/harness.h"
#include "support/image_files.h"
#include "support/sound_files.h"
#include "tessel.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace {

std::vector<uint32_t> gSeen;  // messages the hook saw, in order

int RecordMessage(uint32_t message, uintptr_t, intptr_t) {
    gSeen.push_back(message);
    return 0;
}

int CountOf(uint32_t message) {
    int n = 0;
    for (uint32_t m : gSeen) n += m == message;
    return n;
}

// Which hook ran, in order.
std::vector<int> gRan;
template <int Id>
void Ran() {
    gRan.push_back(Id);
}

class WindowTest : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override { gSeen.clear(); }
};

TEST_F(WindowTest, APumpDispatchesAtMostFiveMessages) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    SetWindowProcHook(RecordMessage);
    for (int i = 0; i < 7; ++i) {
        PlatMessage m{MsgPaint, 0, 0};
        PlatPostMessage(&m);
    }
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(CountOf(MsgPaint), 5);
    EXPECT_EQ(PumpMessages(), 0);
    EXPECT_EQ(CountOf(MsgPaint), 7);
    EndLibrary();
}

TEST_F(WindowTest, AnInactiveWindowPausesThePumpUntilItIsActiveAgain) {
    UseHeadless("1000 focus 0\n1500 focus 1\n");
    ASSERT_EQ(InitLibrary(), 0);
    int start = GetTickMs(0);
    // Pump through the deactivation; the call that sees it must not return
    // before the window is active again, half a second of clock later.
    while (gCore.active && GetTickMs(0) - start < 2000) ASSERT_EQ(PumpMessages(), 0);
    ASSERT_EQ(gCore.active, 1) << "the pump returned while the window was inactive";
    EXPECT_GE(HeadlessNowUs() / 1000, 100000u + 1500u);
    EndLibrary();
}

TEST_F(WindowTest, AWaitThatMeetsAnInactiveWindowContinuesAfterReactivation) {
    UseHeadless("1000 focus 0\n3000 focus 1\n");
    ASSERT_EQ(InitLibrary(), 0);
    int start = GetTickMs(0);
    EXPECT_EQ(WaitMs(1500), 0);
    // The wait began before 1000 ms and was paused until 3000 ms.
    EXPECT_GE(GetTickMs(0) - start, 1500);
    EXPECT_GE(HeadlessNowUs() / 1000, 100000u + 3000u);
    EXPECT_EQ(gCore.active, 1);
    EndLibrary();
}

TEST_F(WindowTest, ClosingDuringTheStartUpPumpStillFinishesInitialisation) {
    UseHeadless("50 close\n");
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(gCore.initialised, 1);
    EXPECT_EQ(PumpMessages(), -1);
    EXPECT_EQ(PumpMessages(), -1) << "quit must stay set";
    EXPECT_EQ(EndLibrary(), 0);
}

TEST_F(WindowTest, ClosingTheWindowLogsTheShutDownAndQuits) {
    UseHeadless("1000 close\n");
    ASSERT_EQ(InitLibrary(), 0);
    while (PumpMessages() == 0) {
    }
    EXPECT_EQ(gCore.destroyed, 1);
    EXPECT_EQ(gCore.endRequested, 4);
    EndLibrary();
    std::string log = ReadLogUtf8();
    size_t closing = log.find("ウインドウを閉じようとしています");
    size_t destroyed = log.find("ウインドウが破棄されようとしています");
    size_t ready = log.find("ソフトを終了する準備が整いました");
    ASSERT_NE(closing, std::string::npos);
    ASSERT_NE(destroyed, std::string::npos);
    ASSERT_NE(ready, std::string::npos);
    EXPECT_LT(closing, destroyed);
    EXPECT_LT(destroyed, ready);
}

TEST_F(WindowTest, TwentyFourBitScreensAreRefusedWithNothingToEnd) {
    UseHeadless();
    SetScreenMode(640, 480, 24, -1);
    EXPECT_EQ(InitLibrary(), -1);
    EXPECT_EQ(gCore.windowCreated, 0);
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_NE(ReadLogUtf8().find("ＴＥＳＳＥＬライブラリは２４ビットカラーモードに対応していません"),
              std::string::npos);
}

TEST_F(WindowTest, AFailedStartCanBeEndedSafely) {
    UseHeadless("100 no-such-verb\n");
    EXPECT_EQ(InitLibrary(), -1);
    EXPECT_EQ(EndLibrary(), 0);
    EXPECT_EQ(EndLibrary(), 0);
}

// The icon among them: read when the window is made, its alpha kept; set
// again later, it changes at once, and a file that cannot be read fails.
TEST_F(WindowTest, SettingsMadeBeforeStartSurviveTheReset) {
    UseHeadless();
    Picture picture = Gradient(16, 8, true);
    Bytes png = PngFile(picture, 6, 8, false);
    WriteFile("icon.png", std::string(png.begin(), png.end()));
    SetWindowTitle("Artillery");
    SetWindowIcon("icon.png");
    SetRunInBackground(1);
    SetLogTimeStamps(0);
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_STREQ(gCore.settings.title, "Artillery");
    EXPECT_EQ(gCore.settings.runInBackground, 1);
    int width = 0, height = 0;
    HeadlessIconPixel(0, 0, &width, &height);
    ASSERT_EQ(width, 16);
    ASSERT_EQ(height, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(HeadlessIconPixel(x, y, nullptr, nullptr), picture.At(x, y)) << x << "," << y;
    Bytes small = PngFile(Gradient(4, 4, false), 2, 8, false);
    WriteFile("small.png", std::string(small.begin(), small.end()));
    EXPECT_EQ(SetWindowIcon("small.png"), 0);
    HeadlessIconPixel(0, 0, &width, &height);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(HeadlessIconPixel(3, 3, nullptr, nullptr) >> 24, 0xFF) << "no alpha is opaque";
    EXPECT_EQ(SetWindowIcon("missing.png"), -1);
    EndLibrary();
    EXPECT_NE(ReadLogUtf8().find("アイコンファイル missing.png の読み込みに失敗しました"),
              std::string::npos);
    // Without time stamps the first line starts with its text.
    EXPECT_EQ(ReadLogUtf8().rfind("システムの情報を出力します", 0), 0u);
}

TEST_F(WindowTest, AltEnterTogglesWindowModeOnlyWhenAllowed) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    PlatMessage altEnter{MsgSysChar, '\r', 0};
    PlatPostMessage(&altEnter);
    PumpMessages();
    PumpMessages();
    EXPECT_EQ(gCore.settings.windowed, 0);

    static int toggles = 0;
    SetWindowModeToggle(1, [](void*) { ++toggles; }, nullptr);
    PlatPostMessage(&altEnter);
    PumpMessages();
    PumpMessages();
    EXPECT_EQ(gCore.settings.windowed, 1);
    EXPECT_EQ(toggles, 1);
    // Window mode shows the cursor and places the client on the desktop.
    EXPECT_EQ(gCore.cursorVisible, 1);
    EXPECT_GT(gCore.clientLeft, 0);
    EndLibrary();
    EXPECT_NE(ReadLogUtf8().find("ウインドウモードフラグが立てられました"), std::string::npos);
}

TEST_F(WindowTest, TheScreenSaverCommandIsRefusedAndF10IsReleasedByOtherCommands) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    EXPECT_EQ(MainWindowProc({MsgSysCommand, SysCommandScreenSave, 0}), 1);
    MainWindowProc({MsgKeyHookF10, 1, 0});
    EXPECT_EQ(CheckAnyInput(), KeyF10);
    MainWindowProc({MsgSysCommand, SysCommandClose, 0});
    EXPECT_EQ(CheckAnyInput(), 0);
    EndLibrary();
}

template <int Slot>
SubsystemHooks Recording() {
    return {.pump = Ran<Slot>, .inactivePump = Ran<100 + Slot>, .activate = Ran<200 + Slot>,
            .deactivate = Ran<300 + Slot>};
}

// Every kind of hook runs in slot order, whichever subsystem registered
// first; the slots are registered last to first here to show it.
TEST_F(WindowTest, ServicesAndActivationStepsRunInTheirFixedOrder) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    const SubsystemHooks hooks[] = {Recording<0>(), Recording<1>(), Recording<2>(),
                                    Recording<3>(), Recording<4>(), Recording<5>(),
                                    Recording<6>(), Recording<7>(), Recording<8>(),
                                    Recording<9>(), Recording<10>()};
    static_assert(std::size(hooks) == HookSlotCount);
    for (int slot = HookSlotCount; slot-- > 0;)
        RegisterHooks(static_cast<HookSlot>(slot), &hooks[slot]);
    auto inSlotOrder = [](int base) {
        std::vector<int> order;
        for (int slot = 0; slot < HookSlotCount; ++slot) order.push_back(base + slot);
        return order;
    };
    std::vector<int> inactive = inSlotOrder(100), pump = inSlotOrder(0);
    inactive.insert(inactive.end(), pump.begin(), pump.end());

    struct Case {
        const char* what;
        void (*act)();
        std::vector<int> order;
    } cases[] = {
        {"active pump", [] { PumpMessages(); }, pump},
        {"inactive pump running in the background",
         [] {
             SetRunInBackground(1);
             gCore.active = 0;
             PumpMessages();
             gCore.active = 1;
             SetRunInBackground(0);
         },
         inactive},
        {"deactivation", [] { MainWindowProc({MsgActivate, 0, 0}); }, inSlotOrder(300)},
        {"activation", [] { MainWindowProc({MsgActivate, 1, 0}); }, inSlotOrder(200)},
    };
    for (const Case& c : cases) {
        gRan.clear();
        c.act();
        EXPECT_EQ(gRan, c.order) << c.what;
    }
    for (int slot = 0; slot < HookSlotCount; ++slot)
        RegisterHooks(static_cast<HookSlot>(slot), nullptr);
    EndLibrary();
}

// ---------------------------------------------------------------------------
// Outside the library's life
// ---------------------------------------------------------------------------

// Handles the calls below name: the first of each kind before the start,
// handles kept from the library's life after the end.
int gKeptGraph = 0x08000000, gKeptFont = 0x20000000, gKeptSound = 0x10000000;
unsigned char gKeys[256];
int gX, gY;
int32_t gFlag;
char gFace[FontFaceNameLength];

constexpr int AnyResult = INT_MIN;  // the call only has to come back

struct PublicCall {
    const char* name;
    int (*call)();
    int outside;  // the result outside the library's life
};

// Every public operation but InitLibrary and ErrorExit. Settings, the clock,
// random numbers, colours, the log and the file layer work at any time;
// everything else needs the running library.
const PublicCall kPublicCalls[] = {
    {"EndLibrary", [] { return EndLibrary(); }, 0},
    {"SetWindowTitle", [] { return SetWindowTitle("t"); }, 0},
    {"SetWindowStyleType", [] { return SetWindowStyleType(1); }, 0},
    {"SetWindowPosition", [] { return SetWindowPosition(3, 4); }, 0},
    {"SetRunInBackground", [] { return SetRunInBackground(1); }, 0},
    {"SetAllowDoubleLaunch", [] { return SetAllowDoubleLaunch(1); }, 0},
    {"SetWindowModeToggle", [] { return SetWindowModeToggle(1, nullptr, nullptr); }, 0},
    {"SetWindowProcHook", [] { return SetWindowProcHook(nullptr); }, 0},
    {"ChangeWindowMode", [] { return ChangeWindowMode(1); }, 0},
    {"SetScreenMode", [] { return SetScreenMode(800, 600, 16, -1); }, 0},
    {"SetLogEnabled", [] { return SetLogEnabled(1); }, 0},
    {"SetLogTimeStamps", [] { return SetLogTimeStamps(0); }, 0},
    {"WriteLogString", [] { return WriteLogString("x\n"); }, -1},
    {"WriteLogFormat", [] { return WriteLogFormat("%d", 1); }, -1},
    {"LogIndentIn", [] { return LogIndentIn(); }, 0},
    {"LogIndentOut", [] { return LogIndentOut(); }, 0},
    {"GetTickMs", [] { return GetTickMs(0); }, AnyResult},
    {"GetTickUs", [] { return int(GetTickUs(0) & 0xFFFF); }, AnyResult},
    {"SeedRandom", [] { return SeedRandom(7); }, 0},
    {"RandomUpTo", [] { return RandomUpTo(0); }, 0},
    {"MakeColor", [] { return int(MakeColor(0, 0, 0)); }, AnyResult},
    {"SetFileAccessFunctions", [] { return SetFileAccessFunctions(nullptr); }, 0},
    {"IsDefaultFileAccess", [] { return IsDefaultFileAccess(); }, 1},
    {"GetFileAccessFunctions", [] { return GetFileAccessFunctions() ? 0 : -1; }, 0},

    {"PumpMessages", [] { return PumpMessages(); }, -1},
    {"IsWindowActive", [] { return IsWindowActive(); }, 0},
    {"WaitMs", [] { return WaitMs(100000); }, -1},
    {"WaitForKey", [] { return WaitForKey(); }, -1},
    {"GetKeyboardSnapshot", [] { return GetKeyboardSnapshot(gKeys); }, -1},
    {"IsKeyDown", [] { return IsKeyDown(KeyEscape); }, 0},
    {"CheckAnyInput", [] { return CheckAnyInput(); }, 0},
    {"GetJoypadState", [] { return GetJoypadState(1 | JoypadWithKeyboard); }, 0},
    {"GetMousePosition", [] { return GetMousePosition(&gX, &gY); }, -1},
    {"SetMousePosition", [] { return SetMousePosition(1, 1); }, -1},
    {"GetMouseButtons", [] { return GetMouseButtons(); }, 0},
    {"SetMouseVisible", [] { return SetMouseVisible(1); }, -1},
    {"SetDrawTarget", [] { return SetDrawTarget(TargetBack); }, -1},
    {"SetClipRect", [] { return SetClipRect(0, 0, 10, 10); }, -1},
    {"ClearDrawTarget", [] { return ClearDrawTarget(); }, -1},
    {"ReadScreenPixel", [] { return ReadScreenPixel(0, 0); }, -1},
    {"PresentScreen", [] { return PresentScreen(); }, -1},
    {"SetPresentVSync", [] { return SetPresentVSync(1); }, -1},
    {"LoadGraphFile", [] { return LoadGraphFile("pic.bmp"); }, -1},
    {"DrawGraph", [] { return DrawGraph(0, 0, gKeptGraph, 0); }, -1},
    {"DrawGraphPart", [] { return DrawGraphPart(0, 0, 0, 0, 2, 2, gKeptGraph, 0, 0); }, -1},
    {"DrawRotaGraph", [] { return DrawRotaGraph(9, 9, 1.0, 0.5, gKeptGraph, 0, 0); }, -1},
    {"CreateEmptyGraph", [] { return CreateEmptyGraph(8, 8, 0, 0); }, -1},
    {"FreeGraphHandle", [] { return FreeGraphHandle(gKeptGraph, 0); }, -1},
    {"FreeAllGraphHandles", [] { return FreeAllGraphHandles(0); }, -1},
    {"SetGraphDeleteFlag", [] { return SetGraphDeleteFlag(gKeptGraph, &gFlag); }, -1},
    {"GetGraphDimensions", [] { return GetGraphDimensions(TargetBack, &gX, &gY); }, -1},
    {"LockGraphSurface", [] { return LockGraphSurface(TargetBack, &gX, nullptr); }, -1},
    {"UnlockGraphSurface", [] { return UnlockGraphSurface(TargetBack); }, -1},
    {"SetDefaultFontSize", [] { return SetDefaultFontSize(20); }, -1},
    {"SetDefaultFontThickness", [] { return SetDefaultFontThickness(3); }, -1},
    {"MeasureTextWidth", [] { return MeasureTextWidth("%s", "abc"); }, -1},
    {"DrawTextString", [] { return DrawTextString(0, 0, "abc", 0xFFFF, 0); }, -1},
    {"DrawTextFormat", [] { return DrawTextFormat(0, 0, 0xFFFF, "%d", 12); }, -1},
    {"CreateFontToHandle", [] { return CreateFontToHandle(nullptr, 16, 4, -1, 1, -1, -1); }, -1},
    {"ReleaseFontHandle", [] { return ReleaseFontHandle(gKeptFont); }, -1},
    {"SetFontDeleteFlag", [] { return SetFontDeleteFlag(gKeptFont, &gFlag); }, -1},
    {"ClearFontCache", [] { return ClearFontCache(gKeptFont); }, -1},
    {"FontHandleIsValid", [] { return FontHandleIsValid(gKeptFont); }, 0},
    {"QueryFontSize", [] { return QueryFontSize(gKeptFont); }, -1},
    {"QueryFontSettings", [] { return QueryFontSettings(gFace, &gX, &gY, gKeptFont); }, -1},
    {"SetDefaultFontSizeAndThickness", [] { return SetDefaultFontSizeAndThickness(20, 3); }, -1},
    {"QueryDefaultFont", [] { return QueryDefaultFont(); }, -1},
    {"DrawTextWithFont", [] { return DrawTextWithFont(0, 0, "abc", 0xFFFF, gKeptFont, 0); }, -1},
    {"LoadSoundFile", [] { return LoadSoundFile("a.wav"); }, -1},
    {"LoadSoundFileWithBuffers", [] { return LoadSoundFileWithBuffers("a.wav", 2); }, -1},
    {"PlaySoundHandle", [] { return PlaySoundHandle(gKeptSound, 0, 1); }, -1},
    {"IsSoundPlaying", [] { return IsSoundPlaying(gKeptSound); }, -1},
    {"StopSoundHandle", [] { return StopSoundHandle(gKeptSound); }, -1},
    {"ReleaseSoundHandle", [] { return ReleaseSoundHandle(gKeptSound, 0); }, -1},
    {"ReleaseAllSoundHandles", [] { return ReleaseAllSoundHandles(0); }, -1},
};

// Runs the call in a child process, so that a call that hangs or ends the
// program shows as such. "returned N", "ended the program" or "hung".
std::string Outcome(int (*call)()) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return "no pipe";
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        int result = call();
        if (write(pipeEnds[1], &result, sizeof result) != sizeof result) _exit(2);
        _exit(0);
    }
    close(pipeEnds[1]);
    pollfd ready{pipeEnds[0], POLLIN, 0};
    std::string outcome = "hung";
    if (poll(&ready, 1, 3000) > 0) {
        int result = 0;
        outcome = read(pipeEnds[0], &result, sizeof result) == sizeof result
                      ? "returned " + std::to_string(result)
                      : "ended the program";
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(pipeEnds[0]);
    return outcome;
}

void ExpectEveryCallReturnsAtOnce(const char* when) {
    for (const PublicCall& c : kPublicCalls) {
        std::string outcome = Outcome(c.call);
        if (c.outside == AnyResult)
            EXPECT_EQ(outcome.rfind("returned ", 0), 0u) << c.name << " " << when;
        else
            EXPECT_EQ(outcome, "returned " + std::to_string(c.outside)) << c.name << " " << when;
    }
}

TEST_F(WindowTest, EveryPublicOperationReturnsAtOnceOutsideTheLibrarysLife) {
    Bytes picture = BmpOf(Gradient(4, 4, false), 24, false);
    WriteFile("pic.bmp", std::string(picture.begin(), picture.end()));
    WriteFile("a.wav", PcmWave(1, 8000, 8, std::string(64, '\x90')));
    UseHeadless();
    ExpectEveryCallReturnsAtOnce("before InitLibrary");

    ASSERT_EQ(InitLibrary(), 0);
    gKeptGraph = LoadGraphFile("pic.bmp");
    gKeptFont = CreateFontToHandle(nullptr, 16, 4, -1, 1, -1, -1);
    gKeptSound = LoadSoundFile("a.wav");
    ASSERT_GE(gKeptGraph, 0);
    ASSERT_GE(gKeptFont, 0);
    EndLibrary();
    ExpectEveryCallReturnsAtOnce("after EndLibrary");
}

// A handle kept across a restart names nothing: the new objects get handles
// of their own.
TEST_F(WindowTest, HandlesKeptAcrossARestartNameNothingNew) {
    UseHeadless();
    ASSERT_EQ(InitLibrary(), 0);
    int graph = CreateEmptyGraph(8, 8, 0, 0);
    int font = CreateFontToHandle(nullptr, 16, 4, -1, 1, -1, -1);
    EndLibrary();
    ASSERT_EQ(InitLibrary(), 0);
    int newGraph = CreateEmptyGraph(8, 8, 0, 0);
    int newFont = CreateFontToHandle(nullptr, 16, 4, -1, 1, -1, -1);
    EXPECT_NE(newGraph, graph);
    EXPECT_NE(newFont, font);
    EXPECT_EQ(GetGraphDimensions(graph, nullptr, nullptr), -1);
    EXPECT_EQ(FontHandleIsValid(font), 0);
    EndLibrary();
}

}  // namespace
