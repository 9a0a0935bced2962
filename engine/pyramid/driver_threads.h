// The process-wide state that a conversion run shares with its threads: the
// tile-job queue of the encoder threads, the loaded-tile queue, their locks
// and events, the thread counts and the cancel flag. One conversion runs per
// process.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "engine/pyramid/tile_saver.h"
#include "platform/threads.h"

class vq_zoomoutput_base;

extern vq::platform::CriticalSection tileJobLock;
extern vq::platform::CriticalSection loadedTileLock;
// Jobs for the encoder threads: producers push at the front, encoders take
// from the back. Guarded by tileJobLock.
extern std::list<vq_tile_saver> tileJobList;
extern vq::platform::Event tileJobEvent;
extern vq::platform::Event loadedTileEvent;

extern std::atomic<int32_t> encodersStarted;
extern std::atomic<int32_t> loadersStarted;
extern std::atomic<int32_t> encodersRunning;
extern std::atomic<int32_t> loadersRunning;
extern std::atomic<bool> backPressure;
extern std::atomic<bool> cancelRequested;
// Set when the run's consumer has stopped (finished, failed or cancelled):
// threads that wait for room in a queue give up instead of waiting forever.
extern std::atomic<bool> runStopped;
extern std::atomic<bool> keepRawTiles;
extern std::atomic<bool> ycbcrTiles;
extern std::atomic<int32_t> loaderThreadLimit;
extern std::atomic<int32_t> encoderThreadLimit;
// Jobs that an encoder thread could not write in this run.
extern std::atomic<int32_t> encoderFailures;
// Notified whenever something a waiting thread of the run may wait for
// changes: a record taken from loadedTileList, backPressure cleared, a thread
// ended, a cancel or the end of the run. Threads wait on it for room, for the
// others to end or for back-pressure to go, with their old pause as the
// longest wait.
extern vq::platform::Condition runStateChanged;

// Sets backPressure; clearing it wakes the threads held back by it.
void setBackPressure(bool on);
// Records that a thread counted in `running` has ended and wakes the waiters.
void countThreadEnded(std::atomic<int32_t>& running);
// Records a cancel for every waiting thread.
void wakeWaitingThreads();
// The consumer has stopped: sets runStopped and wakes every waiting thread.
void stopRun();
// Records in loadedTileList: the caller need not hold loadedTileLock.
size_t loadedTileCount();

// Paths of the tile files that encoder threads could not write in this run
// (each was removed, so no empty or cut tile stays behind).
std::vector<std::string> takeUnwrittenTiles();

// Fresh queues, counters and events for a run.
void initThreadGlobals();
// Joins every thread the run started, then empties the queues.
void releaseThreadGlobals();

// Starts one more encoder thread unless the limit is reached.
bool startEncoderThread();
// Starts fn on a thread of the run (joined by releaseThreadGlobals); false
// when no slot or thread is left.
bool startRunThread(void (*fn)(void*), void* arg);

// Queues a job for the encoder threads the way the tile-folder output does:
// at the front, one more encoder when more than 12 wait, then the event.
void queueTileJob(const vq_tile_saver& job);

// Ends the encoder threads: a stop job behind the queued jobs (after a cancel
// the queue is emptied first), then waits for every encoder thread (and the
// strip reader, which counts itself among them) to end.
void runStopProtocol(bool tilePath);

// Threads of the current run that have not been joined yet.
int32_t liveRunThreads();

// Adds the count and the names of the tile files that encoder threads failed
// to write in this run to the output's errors.
void reportEncoderFailures(vq_zoomoutput_base* output);
// "<n> tile files could not be written\n" and one line per path.
std::string describeUnwrittenTiles(const std::vector<std::string>& paths);

// Writes one job's file; false when nothing or not all of it was written, in
// which case no file is left at the job's path.
bool writeTileJob(const vq_tile_saver& job);

int encoderThreadProc();

void sleepSeconds(int32_t seconds);
void sleepMilliseconds(int32_t milliseconds);
