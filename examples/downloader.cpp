// Downloads the URL named on the command line into a file (the second
// argument, or the last part of the URL's path) and shows its progress: a
// bar, the bytes received, the rate and the time left. Escape ends, and
// cancels a download still running.
#include <tessel.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A graph of one colour; the screen is 32 bits, so a pixel is one MakeColor value.
int MakeBlock(int width, int height, uint32_t colour) {
    int graph = CreateEmptyGraph(width, height, 0, 0);
    int pitch;
    uint8_t* pixels;
    if (LockGraphSurface(graph, &pitch, &pixels) != 0) return -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) reinterpret_cast<uint32_t*>(pixels + y * pitch)[x] = colour;
    UnlockGraphSurface(graph);
    return graph;
}

std::string SaveNameFor(const char* url) {
    char scheme[16], host[256], path[1024];
    int port;
    if (ParseUrl(url, scheme, sizeof scheme, host, sizeof host, &port, path, sizeof path) != 0) return "";
    std::string name = path;
    name = name.substr(0, name.find('?'));
    name = name.substr(name.rfind('/') + 1);
    return name.empty() ? "download.bin" : name;
}

std::string Bytes(int64_t bytes) {
    char text[32];
    return FormatByteSize(bytes, text, sizeof text) < 0 ? "?" : text;
}

}  // namespace

int main(int argc, char** argv) {
    SetStringEncoding(EncodingUtf8);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s URL [FILE]\n", argv[0]);
        return 2;
    }
    const char* url = argv[1];
    std::string save = argc == 3 ? argv[2] : SaveNameFor(url);
    if (save.empty()) {
        std::fprintf(stderr, "%s: not a URL\n", url);
        return 2;
    }
    SetWindowTitle("downloader");
    ChangeWindowMode(1);
    SetScreenMode(640, 480, 32, -1);
    if (InitLibrary() != 0) return 1;
    SetDrawTarget(TargetBack);

    int download = HttpGet(url, save.c_str());
    if (download == -1) {
        std::fprintf(stderr, "%s: not an http or https URL\n", url);
        EndLibrary();
        return 2;
    }
    constexpr int kBarWidth = 560, kBarHeight = 24;
    int track = MakeBlock(kBarWidth, kBarHeight, MakeColor(50, 50, 70));
    int fill = MakeBlock(kBarWidth, kBarHeight, MakeColor(60, 200, 90));
    uint32_t white = MakeColor(255, 255, 255), grey = MakeColor(170, 170, 190);
    uint32_t red = MakeColor(255, 90, 90);

    int started = GetTickMs(0);
    int elapsed = 0;
    int state = HttpRunning;
    while (PumpMessages() == 0 && !IsKeyDown(KeyEscape)) {
        state = GetHttpState(download);
        int64_t received = 0, total = -1;
        GetHttpProgress(download, &received, &total);
        if (state == HttpRunning) elapsed = GetTickMs(0) - started;  // stops with the download
        int64_t rate = elapsed > 0 ? received * 1000 / elapsed : 0;

        ClearDrawTarget();
        DrawTextFormat(40, 40, white, "%.70s", url);
        DrawTextFormat(40, 64, grey, "to %.60s", save.c_str());
        DrawGraph(40, 120, track, 0);
        if (total > 0) {
            int width = static_cast<int>(kBarWidth * (received > total ? total : received) / total);
            if (width > 0) DrawGraphPart(40, 120, 0, 0, width, kBarHeight, fill, 0, 0);
        }
        char count[40], span[24];
        FormatNumber(received, count, sizeof count);
        if (total > 0)
            DrawTextFormat(40, 170, white, "%s of %s  (%s bytes)", Bytes(received).c_str(),
                           Bytes(total).c_str(), count);
        else
            DrawTextFormat(40, 170, white, "%s  (%s bytes)", Bytes(received).c_str(), count);
        DrawTextFormat(40, 200, white, "%s/s", Bytes(rate).c_str());
        if (state == HttpRunning && total > 0 && rate > 0) {
            // Rounded up: "0:00 left" would claim the download has ended.
            FormatTimeSpan((total - received) * 1000 / rate + 999, span, sizeof span);
            DrawTextFormat(40, 230, white, "%s left", span);
        } else {
            FormatTimeSpan(elapsed, span, sizeof span);
            DrawTextFormat(40, 230, white, "%s taken", span);
        }
        if (state == HttpDone) {
            DrawTextFormat(40, 280, white, "done: HTTP %d", GetHttpStatusCode(download));
        } else if (state == HttpFailed) {
            char error[256];
            GetHttpError(download, error, sizeof error);
            DrawTextFormat(40, 280, red, "failed: %.60s", error);
        }
        DrawTextString(40, 440, "Escape ends", grey, 0);
        PresentScreen();
    }
    int status = GetHttpStatusCode(download);
    int64_t size = GetHttpBodySize(download);
    if (state == HttpDone) std::printf("saved %lld bytes to %s (HTTP %d)\n", static_cast<long long>(size), save.c_str(), status);
    CloseHttp(download);  // a download still running is cancelled, its file not kept
    EndLibrary();
    return state == HttpDone && status >= 200 && status < 300 ? 0 : 1;
}
