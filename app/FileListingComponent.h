// The job table: one row per queued item with its file name, operation and
// status in colour; a double-click shows the row's log.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "app/ConversionJob.h"

class FileListingComponent : public juce::Component, public juce::TableListBoxModel {
public:
    enum ColumnId { kFilenameColumn = 1, kOperationColumn = 2, kStatusColumn = 3 };

    FileListingComponent();
    ~FileListingComponent() override;

    static juce::String operationText(int outputType);
    static juce::String statusText(int status);
    static juce::Colour statusColour(int status);

    int getNumRows() override { return rows_.size(); }
    void paintRowBackground(juce::Graphics& g, int row, int width, int height, bool selected) override;
    void paintCell(juce::Graphics& g, int row, int columnId, int width, int height, bool selected) override;
    void cellDoubleClicked(int row, int columnId, const juce::MouseEvent&) override;
    int getColumnAutoSizeWidth(int columnId) override;
    void resized() override;

    void addJob(const ConversionJob& job);
    void setJobStatus(const ConversionJob& job, int status);
    void updateJob(const ConversionJob& job);

    const ConversionJob* findRow(int jobId) const;
    juce::TableListBox& getTable() { return table_; }
    // Opens the "Processing Result" dialog of a row (what a double-click does).
    void showResult(int row);

private:
    int rowIndexOf(int jobId) const;

    juce::Font font_{14.0f, juce::Font::plain};
    juce::Array<ConversionJob> rows_;
    juce::TableListBox table_{"Results", this};
};
