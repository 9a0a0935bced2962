// The converter's single window: owns the job queue and the content, accepts
// dropped files and carries the dispatcher's timer.
#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

#include <deque>
#include <memory>

#include "app/ConversionJob.h"
#include "app/JobSources.h"
#include "app/KestrixThread.h"
#include "engine/base/vq_global.h"

class MainComponent;

class MainAppWindow : public juce::DocumentWindow, public juce::FileDragAndDropTarget, public juce::Timer {
public:
    static constexpr const char* kTitle = "Kestrix Converter - Version 2.1.7";
    static constexpr int kWidth = 904;
    static constexpr int kHeight = 480;

    MainAppWindow();
    ~MainAppWindow() override;

    void closeButtonPressed() override;
    bool isInterestedInFileDrag(const juce::StringArray& files) override;
    void filesDropped(const juce::StringArray& files, int x, int y) override;
    void timerCallback() override;

    // True for a name the converter may open, a tile folder or a slide folder.
    static bool qualifiesForDrop(const juce::String& path);
    // Limits the window so that the content shows every control: width 576,
    // height the title bar and menu bar plus the content's own minimum. Called
    // again when the title bar changes.
    void updateResizeLimits();

    // Appends a line to the job the worker holds.
    void addLogLineToRunningJob(const juce::String& line);
    // Appends the job to the queue and its "Pending" row to the table.
    void queueJob(const ConversionJob& job);
    void setOutputType(int type);
    int getOutputType() const;

    juce::ApplicationCommandManager& getCommandManager() { return *commandManager_; }
    double& getProgressValue() { return progress_; }
    MainComponent* getMainComponent() { return content_; }
    const std::deque<ConversionJob>& getJobQueue() const { return jobQueue_; }
    KestrixThread& getWorker() { return worker_; }

private:
    // Dispatcher steps of one tick.
    void followRunningJob();
    void completeJob();
    void startNextJob();
    void startConversion(ConversionJob job, JobSources& sources);
    void finishFailedJob(ConversionJob job, const JobFailure& failure);

    std::unique_ptr<juce::ApplicationCommandManager> commandManager_;
    double progress_ = 0.0;
    MainComponent* content_ = nullptr;  // owned by the window as its content
    int idleCountdown_ = 0;
    std::deque<ConversionJob> jobQueue_;
    vq_ptr<vq_global_base> settings_;
    KestrixThread worker_;
};
