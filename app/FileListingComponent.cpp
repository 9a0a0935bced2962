#include "app/FileListingComponent.h"

#include "app/BadFilesDialog.h"

FileListingComponent::FileListingComponent() {
    using Header = juce::TableHeaderComponent;
    auto& header = table_.getHeader();
    header.addColumn("Operation", kOperationColumn, 120, 120, 120, Header::notResizableOrSortable);
    header.addColumn("Status", kStatusColumn, 100, 100, 100, Header::notResizableOrSortable);
    header.addColumn("Filename", kFilenameColumn, 500, 300, -1, Header::notSortable);
    table_.setMultipleSelectionEnabled(false);
    addAndMakeVisible(table_);
}

FileListingComponent::~FileListingComponent() { table_.setModel(nullptr); }

juce::String FileListingComponent::operationText(int outputType) {
    switch (outputType) {
        case 0: return "Kestrix";
        case 1: return "SVS:JPEG";
        case 2: return "SVS:JP2K";
        case 5: return "TIFF";
        case 6: return "Verify";
        case 7: return "Kestrix:PFF";
        default: return "Other";
    }
}

juce::String FileListingComponent::statusText(int status) {
    switch (status) {
        case kStatusFinished: return "Finished";
        case kStatusCancelled: return "Cancelled";
        case kStatusFailed: return "Failed";
        case kStatusPending: return "Pending";
        case kStatusProcessing: return "Processing";
        case kStatusNotSupported: return "Not Supported";
        case kStatusInvalidFile: return "Invalid File";
        default: return {};
    }
}

juce::Colour FileListingComponent::statusColour(int status) {
    switch (status) {
        case kStatusFinished: return juce::Colour(0, 128, 0);
        case kStatusCancelled: return juce::Colour(0, 0, 255);
        case kStatusFailed:
        case kStatusNotSupported:
        case kStatusInvalidFile: return juce::Colour(255, 0, 0);
        case kStatusProcessing: return juce::Colour(255, 165, 0);
        default: return juce::Colour(0, 0, 0);
    }
}

void FileListingComponent::paintRowBackground(juce::Graphics& g, int, int, int, bool selected) {
    if (selected) g.fillAll(juce::Colour(173, 216, 230));
}

void FileListingComponent::paintCell(juce::Graphics& g, int row, int columnId, int width, int height, bool) {
    if (row < 0 || row >= rows_.size()) return;
    const auto& job = rows_.getReference(row);
    g.setColour(juce::Colours::black);
    g.setFont(font_);
    juce::String text;
    switch (columnId) {
        case kFilenameColumn: text = job.sourcePath; break;
        case kOperationColumn: text = operationText(job.outputType); break;
        case kStatusColumn:
            text = statusText(job.status);
            g.setColour(statusColour(job.status));
            break;
        default: break;
    }
    g.drawText(text, 2, 0, width - 4, height, juce::Justification::centredLeft, true);
    g.setColour(juce::Colours::black.withAlpha(0.2f));
    g.fillRect(width - 1, 0, 1, height);
}

void FileListingComponent::cellDoubleClicked(int row, int, const juce::MouseEvent&) { showResult(row); }

void FileListingComponent::showResult(int row) {
    if (row < 0 || row >= rows_.size()) return;
    auto* dialog = new BadFilesDialog("Processing Result");
    dialog->setLines(rows_.getReference(row).logLines);
    dialog->launchAndDeleteWhenDone();
}

int FileListingComponent::getColumnAutoSizeWidth(int columnId) {
    if (columnId == kStatusColumn) return 100;
    if (columnId == kOperationColumn) return 120;
    int widest = 32;
    for (const auto& job : rows_) widest = std::max(widest, font_.getStringWidth(job.sourcePath));
    return widest + 8;
}

void FileListingComponent::resized() {
    table_.setBounds(getLocalBounds().reduced(8));
    table_.autoSizeColumn(kFilenameColumn);
}

int FileListingComponent::rowIndexOf(int jobId) const {
    for (int i = 0; i < rows_.size(); ++i)
        if (rows_.getReference(i).jobId == jobId) return i;
    return -1;
}

const ConversionJob* FileListingComponent::findRow(int jobId) const {
    const int index = rowIndexOf(jobId);
    return index >= 0 ? &rows_.getReference(index) : nullptr;
}

void FileListingComponent::addJob(const ConversionJob& job) {
    rows_.add(job);
    table_.updateContent();
    table_.autoSizeColumn(kFilenameColumn);
}

void FileListingComponent::setJobStatus(const ConversionJob& job, int status) {
    const int index = rowIndexOf(job.jobId);
    if (index < 0) return;
    rows_.getReference(index).status = status;
    repaint();
    table_.repaint();
}

void FileListingComponent::updateJob(const ConversionJob& job) {
    const int index = rowIndexOf(job.jobId);
    if (index >= 0) {
        auto& row = rows_.getReference(index);
        if (job.message.isNotEmpty()) row.setResult(job.message, job.status);
        row.status = job.status;
        row.logLines = job.logLines;
    }
    table_.updateContent();
    repaint();
    table_.repaint();
}
