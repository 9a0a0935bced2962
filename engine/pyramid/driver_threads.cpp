#include "engine/pyramid/driver_threads.h"

#include <array>
#include <cstdio>
#include <memory>

#include <unistd.h>

#include "engine/tilepath/loaded_tile.h"
#include "engine/base/stream.h"
#include "engine/pyramid/tile_jpeg.h"
#include "engine/pyramid/vq_zoomoutput.h"

namespace vqp = vq::platform;

vqp::CriticalSection tileJobLock(2000);
vqp::CriticalSection loadedTileLock(2000);
std::list<vq_tile_saver> tileJobList;
vqp::Event tileJobEvent(false, false);
vqp::Event loadedTileEvent(false, false);

std::atomic<int32_t> encodersStarted{0};
std::atomic<int32_t> loadersStarted{0};
std::atomic<int32_t> encodersRunning{0};
std::atomic<int32_t> loadersRunning{0};
std::atomic<bool> backPressure{false};
std::atomic<bool> cancelRequested{false};
std::atomic<bool> runStopped{false};
std::atomic<bool> keepRawTiles{false};
std::atomic<bool> ycbcrTiles{false};
std::atomic<int32_t> loaderThreadLimit{8};
std::atomic<int32_t> encoderThreadLimit{1};
std::atomic<int32_t> encoderFailures{0};
vqp::Condition runStateChanged;

namespace {

constexpr int32_t kMaxThreads = 32;

// A failed priority change is reported once per run, not once per thread.
std::atomic<bool> raiseFailureReported{false};

// Every thread a run starts; releaseThreadGlobals joins them all before the
// shared state is touched again.
std::array<std::unique_ptr<vqp::Thread>, 2 * kMaxThreads + 1> runThreads;
vqp::CriticalSection runThreadsLock;

std::vector<std::string> unwrittenTiles;
vqp::CriticalSection unwrittenTilesLock;

void recordUnwrittenTile(const std::string& path)
{
    vqp::ScopedLock lock(unwrittenTilesLock);
    unwrittenTiles.push_back(path);
}

bool startThread(std::function<void()> fn, vqp::Thread** started)
{
    vqp::ScopedLock lock(runThreadsLock);
    for (auto& slot : runThreads) {
        if (slot != nullptr && slot->joinable())
            continue;
        slot = std::make_unique<vqp::Thread>();
        if (!slot->start(std::move(fn)))
            return false;
        if (started != nullptr)
            *started = slot.get();
        return true;
    }
    return false;
}

void joinRunThreads()
{
    // Threads may start further threads while they run (an output queuing
    // jobs starts encoders), so join until no joinable thread is left.
    for (;;) {
        vqp::Thread* t = nullptr;
        {
            vqp::ScopedLock lock(runThreadsLock);
            for (auto& slot : runThreads)
                if (slot != nullptr && slot->joinable()) {
                    t = slot.get();
                    break;
                }
        }
        if (t == nullptr)
            return;
        t->join();
    }
}

} // namespace

int32_t liveRunThreads()
{
    vqp::ScopedLock lock(runThreadsLock);
    int32_t n = 0;
    for (auto& slot : runThreads)
        n += slot != nullptr && slot->joinable();
    return n;
}

void setBackPressure(bool on)
{
    if (backPressure.exchange(on) && !on)
        runStateChanged.notifyAll();
}

void countThreadEnded(std::atomic<int32_t>& running)
{
    --running;
    runStateChanged.notifyAll();
}

void wakeWaitingThreads()
{
    loadedTileEvent.set();
    runStateChanged.notifyAll();
}

void stopRun()
{
    runStopped = true;
    wakeWaitingThreads();
}

size_t loadedTileCount()
{
    return loadedTileList.waiting();
}

void sleepMilliseconds(int32_t milliseconds)
{
    vqp::sleepMs(milliseconds);
}

void sleepSeconds(int32_t seconds)
{
    vqp::sleepMs(static_cast<int64_t>(seconds) * 1000);
}

void initThreadGlobals()
{
    joinRunThreads();
    {
        vqp::ScopedLock lock(tileJobLock);
        tileJobList.clear();
    }
    {
        vqp::ScopedLock lock(loadedTileLock);
        loadedTileList.clear();
    }
    encodersStarted = 0;
    loadersStarted = 0;
    encodersRunning = 0;
    loadersRunning = 0;
    encoderFailures = 0;
    takeUnwrittenTiles();
    backPressure = false;
    runStopped = false;
    raiseFailureReported = false;
    tileJobEvent.reset();
    loadedTileEvent.reset();
}

void releaseThreadGlobals()
{
    stopRun();
    if (encodersRunning > 0) {
        // Encoders still waiting for work end on a stop job.
        vqp::ScopedLock lock(tileJobLock);
        tileJobList.push_front(vq_tile_saver());
        tileJobEvent.set();
    }
    joinRunThreads();
    {
        vqp::ScopedLock lock(loadedTileLock);
        loadedTileList.clear();
    }
    vqp::ScopedLock lock(tileJobLock);
    tileJobList.clear();
}

bool startRunThread(void (*fn)(void*), void* arg)
{
    return startThread([fn, arg] { fn(arg); }, nullptr);
}

bool startEncoderThread()
{
    vqp::ScopedLock lock(runThreadsLock);
    if (encodersStarted >= encoderThreadLimit || encodersStarted >= kMaxThreads)
        return false;
    ++encodersRunning;
    vqp::Thread* t = nullptr;
    if (!startThread([] { encoderThreadProc(); }, &t)) {
        --encodersRunning;
        return false;
    }
    // Raising priority may need privileges; the thread runs anyway.
    if (!t->setPriority(vqp::ThreadPriority::AboveNormal) && !raiseFailureReported.exchange(true))
        std::fputs("Failed to increase thread priority\n", stderr);
    ++encodersStarted;
    return true;
}

void queueTileJob(const vq_tile_saver& job)
{
    vqp::ScopedLock lock(tileJobLock);
    tileJobList.push_front(job);
    if (tileJobList.size() > 12)
        startEncoderThread();
    tileJobEvent.set();
}

std::vector<std::string> takeUnwrittenTiles()
{
    vqp::ScopedLock lock(unwrittenTilesLock);
    std::vector<std::string> paths;
    paths.swap(unwrittenTiles);
    return paths;
}

namespace {

// The job's bytes: the raw tile unchanged, or the tile encoded in memory.
bool writeTileBytes(const vq_tile_saver& job, vq_stream* file)
{
    vq_ptr<vq_raw_tile> raw;
    if (job.holder->getRawTile(&raw)) {
        if (raw->getDataLength() == 0) {
            std::fputs("Error:Raw tile has no data!\n", stderr);
            return false;
        }
        return file->write(raw->getData(), static_cast<uint32_t>(raw->getDataLength())) == raw->getDataLength();
    }
    vq_ptr<vq_stream> memory;
    if (!encodeTileJob(job, memory) || memory == nullptr)
        return false;
    return memory->copyTo(file) == 0;
}

} // namespace

bool writeTileJob(const vq_tile_saver& job)
{
    vq_ptr<vq_stream> file;
    if (openWriteStream(job.outputPath.c_str(), file.put()) != 0 || file == nullptr) {
        recordUnwrittenTile(job.outputPath);
        return false;
    }
    const bool written = writeTileBytes(job, file.get());
    const bool closed = file->close() == 0;
    if (written && closed)
        return true;
    // A cut tile would show as a broken image in a viewer; none is better.
    ::unlink(job.outputPath.c_str());
    recordUnwrittenTile(job.outputPath);
    return false;
}

int encoderThreadProc()
{
    bool running = true;
    while (running) {
        tileJobEvent.wait(vqp::kInfinite);
        tileJobLock.enter();
        while (!tileJobList.empty()) {
            if (cancelRequested) {
                running = false;
                tileJobEvent.set(); // wake the next encoder so it ends too
                break;
            }
            vq_tile_saver job = tileJobList.back();
            if (job.isStopJob()) {
                // Left in the list for the other encoders.
                running = false;
                tileJobEvent.set();
                break;
            }
            tileJobList.pop_back();
            const size_t queued = tileJobList.size();
            tileJobLock.leave();
            if (!writeTileJob(job))
                ++encoderFailures;
            setBackPressure(queued > 40);
            tileJobLock.enter();
        }
        tileJobLock.leave();
    }
    countThreadEnded(encodersRunning);
    return 0;
}

void runStopProtocol(bool tilePath)
{
    vq_tile_saver stopJob;
    {
        vqp::ScopedLock lock(tileJobLock);
        if (cancelRequested) {
            tileJobList.clear();
            tileJobList.push_back(stopJob);
        } else {
            tileJobList.push_front(stopJob);
        }
        tileJobEvent.set();
    }
    if (tilePath && cancelRequested) {
        vqp::ScopedLock lock(loadedTileLock);
        setBackPressure(false);
    }
    // Every ending thread notifies; the timeout only bounds a look.
    while (!runStateChanged.waitFor([] { return encodersRunning <= 0; }, 100)) {
    }
    if (tilePath)
        while (!runStateChanged.waitFor([] { return loadersRunning <= 0; }, 100)) {
        }
}

std::string describeUnwrittenTiles(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return std::string();
    std::string text = std::to_string(paths.size()) + " tile files could not be written\n";
    for (const std::string& path : paths)
        text += "Not written: " + path + "\n";
    return text;
}

void reportEncoderFailures(vq_zoomoutput_base* output)
{
    encoderFailures = 0;
    const std::vector<std::string> paths = takeUnwrittenTiles();
    if (paths.empty() || output == nullptr)
        return;
    output->addError(describeUnwrittenTiles(paths));
}
