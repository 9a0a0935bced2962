// The process-wide log queue: conversion threads append lines under one lock,
// the window's timer takes them out on the message thread.
#pragma once

#include <juce_core/juce_core.h>

#include <atomic>

// Oldest line first.
extern juce::StringArray logLineQueue;
// Re-entrant; also guards the preview image and the proxy output's shared state.
extern juce::CriticalSection logQueueLock;
// Highest level kept; lines of a greater level are dropped.
extern std::atomic<int> logThreshold;

void pushLogLine(int level, const char* text);
// Moves the oldest line into line; false (line untouched) when the queue is empty.
bool popLogLine(juce::String& line);
