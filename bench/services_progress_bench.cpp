// What progress reporting costs: a posted PBM_DELTAPOS per digested block against the same
// digest without progress, and the queue operations underneath.
#include "framework/window.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/progress.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void Drain()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
}

// One posted delta to a progress bar; consecutive deltas merge into one queue entry.
void BM_PostDeltaToBar(benchmark::State& state)
{
    HWND bar = AfxCreateProgressBar();
    for (auto _ : state)
        PostMessageA(bar, PBM_DELTAPOS, 1, 0);
    Drain();
    DestroyWindow(bar);
}
BENCHMARK(BM_PostDeltaToBar);

// Post, take and dispatch one message to a plain window.
void BM_PostPeekDispatch(benchmark::State& state)
{
    HWND w = AfxCreateWindow([](HWND, UINT, WPARAM wp, LPARAM) -> LRESULT { return static_cast<LRESULT>(wp); });
    MSG msg;
    for (auto _ : state) {
        PostMessageA(w, WM_USER, 1, 0);
        PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
        benchmark::DoNotOptimize(DispatchMessageA(&msg));
    }
    DestroyWindow(w);
}
BENCHMARK(BM_PostPeekDispatch);

// MD5 of 64 KiB in 1024-byte updates, without and with a posting progress reporter (one
// delta per 64-byte block, as the digest makers send them).
void Md5(benchmark::State& state, bool withProgress)
{
    std::vector<BYTE> data(64 * 1024, 0x5a);
    HWND bar = AfxCreateProgressBar();
    CProgress progress(bar, 1);
    for (auto _ : state) {
        CMD5DigestMaker md5;
        for (size_t off = 0; off < data.size(); off += 1024)
            md5.UpdateBlock(data.data() + off, 1024, withProgress ? &progress : nullptr, off + 1024 == data.size());
        BYTE digest[16];
        md5.GetCurrentDigest(digest);
        benchmark::DoNotOptimize(digest);
        Drain();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
    DestroyWindow(bar);
}
void BM_Md5_64KiB_NoProgress(benchmark::State& state) { Md5(state, false); }
void BM_Md5_64KiB_PostedProgress(benchmark::State& state) { Md5(state, true); }
BENCHMARK(BM_Md5_64KiB_NoProgress);
BENCHMARK(BM_Md5_64KiB_PostedProgress);

} // namespace
