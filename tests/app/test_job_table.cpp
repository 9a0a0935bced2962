#include <gtest/gtest.h>

#include "app/BadFilesDialog.h"
#include "app/FileListingComponent.h"
#include "tests/app/app_test_support.h"

namespace {

ConversionJob jobFor(const juce::String& path, int outputType = 0) {
    ConversionJob job(path);
    job.outputType = outputType;
    return job;
}

int filenameWidth(FileListingComponent& table) {
    return table.getTable().getHeader().getColumnWidth(FileListingComponent::kFilenameColumn);
}

// Counts the pixels of an image for which the test holds.
template <class Test>
int countPixels(const juce::Image& image, Test test) {
    int count = 0;
    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
            if (test(image.getPixelAt(x, y))) ++count;
    return count;
}

int countPixels(const juce::Image& image, juce::Colour c) {
    return countPixels(image, [c](juce::Colour p) { return p.withAlpha(1.0f) == c; });
}

} // namespace

TEST(JobTable, StatusTextsColoursAndOperationTexts) {
    struct Status {
        int code;
        const char* text;
        juce::Colour colour;
    };
    const Status statuses[] = {
        {0, "Finished", juce::Colour(0, 128, 0)},     {1, "Cancelled", juce::Colour(0, 0, 255)},
        {2, "Failed", juce::Colour(255, 0, 0)},       {3, "Pending", juce::Colour(0, 0, 0)},
        {4, "Processing", juce::Colour(255, 165, 0)}, {5, "Not Supported", juce::Colour(255, 0, 0)},
        {6, "Invalid File", juce::Colour(255, 0, 0)}, {7, "", juce::Colour(0, 0, 0)},
        {-1, "", juce::Colour(0, 0, 0)},
    };
    for (const auto& s : statuses) {
        EXPECT_EQ(FileListingComponent::statusText(s.code), s.text) << s.code;
        EXPECT_EQ(FileListingComponent::statusColour(s.code), s.colour) << s.code;
    }

    const std::pair<int, const char*> operations[] = {{0, "Kestrix"}, {1, "SVS:JPEG"}, {2, "SVS:JP2K"},
                                                      {3, "Other"},   {4, "Other"},    {5, "TIFF"},
                                                      {6, "Verify"},  {7, "Kestrix:PFF"}, {8, "Other"}};
    for (const auto& [type, text] : operations) EXPECT_EQ(FileListingComponent::operationText(type), text) << type;
}

TEST(JobTable, ColumnsAndTheFilenameWidthRule) {
    FileListingComponent table;
    auto& header = table.getTable().getHeader();
    ASSERT_EQ(header.getNumColumns(true), 3);
    EXPECT_EQ(header.getColumnIdOfIndex(0, true), FileListingComponent::kOperationColumn);
    EXPECT_EQ(header.getColumnIdOfIndex(1, true), FileListingComponent::kStatusColumn);
    EXPECT_EQ(header.getColumnIdOfIndex(2, true), FileListingComponent::kFilenameColumn);
    EXPECT_EQ(header.getColumnName(2), "Operation");
    EXPECT_EQ(header.getColumnName(3), "Status");
    EXPECT_EQ(header.getColumnName(1), "Filename");
    EXPECT_EQ(header.getColumnWidth(2), 120);
    EXPECT_EQ(header.getColumnWidth(3), 100);
    EXPECT_EQ(table.getTable().getName(), "Results");

    // No rows: 32 + 8, raised to the column's minimum of 300.
    EXPECT_EQ(table.getColumnAutoSizeWidth(FileListingComponent::kFilenameColumn), 40);
    table.setSize(600, 300);
    EXPECT_EQ(filenameWidth(table), 300);
    EXPECT_EQ(table.getTable().getBounds(), juce::Rectangle<int>(8, 8, 584, 284));

    const juce::String shortPath = "/a.jpg";
    const juce::String longPath = "/" + juce::String::repeatedString("very-long-folder-name/", 20) + "slide.svs";
    table.addJob(jobFor(shortPath));
    EXPECT_EQ(filenameWidth(table), 300);
    table.addJob(jobFor(longPath));
    const int expected = juce::Font(14.0f).getStringWidth(longPath) + 8;
    ASSERT_GT(expected, 300);
    EXPECT_EQ(filenameWidth(table), expected);
    EXPECT_EQ(table.getColumnAutoSizeWidth(FileListingComponent::kStatusColumn), 100);
    EXPECT_EQ(table.getColumnAutoSizeWidth(FileListingComponent::kOperationColumn), 120);
}

TEST(JobTable, RowsFollowTheDispatchersUpdatesByJobId) {
    FileListingComponent table;
    table.setSize(700, 300);
    const auto first = jobFor("/one.jpg");
    const auto second = jobFor("/two.svs", 4);
    table.addJob(first);
    table.addJob(second);
    ASSERT_EQ(table.getNumRows(), 2);
    EXPECT_EQ(table.findRow(first.jobId)->status, kStatusPending);

    table.setJobStatus(second, kStatusProcessing);
    EXPECT_EQ(table.findRow(second.jobId)->status, kStatusProcessing);
    EXPECT_EQ(table.findRow(first.jobId)->status, kStatusPending);

    ConversionJob finished = second;
    finished.logLines = {"\nKestrixing to folder /two\n", "done\n"};
    finished.message = "all fine";
    finished.status = kStatusFinished;
    table.updateJob(finished);
    const auto* row = table.findRow(second.jobId);
    EXPECT_EQ(row->status, kStatusFinished);
    EXPECT_EQ(row->getMessage(), "all fine");
    EXPECT_EQ(row->logLines, finished.logLines);

    // An id without a row changes nothing.
    ConversionJob stranger("/stranger.jpg");
    stranger.status = kStatusFailed;
    stranger.message = "x";
    table.updateJob(stranger);
    table.setJobStatus(stranger, kStatusFailed);
    EXPECT_EQ(table.getNumRows(), 2);
    EXPECT_EQ(table.findRow(stranger.jobId), nullptr);
    EXPECT_EQ(table.findRow(first.jobId)->status, kStatusPending);
}

TEST(JobTable, CellsAndRowsPaintInTheirColours) {
    FileListingComponent table;
    auto job = jobFor("/slides/a.svs");
    table.addJob(job);
    table.setJobStatus(job, kStatusFinished);

    juce::Image cell(juce::Image::RGB, 100, 20, true);
    {
        juce::Graphics g(cell);
        g.fillAll(juce::Colours::white);
        table.paintCell(g, 0, FileListingComponent::kStatusColumn, 100, 20, false);
    }
    // Anti-aliased green text: ink whose green clearly exceeds red and blue.
    EXPECT_GT(countPixels(cell, [](juce::Colour p) { return p.getGreen() > p.getRed() + 40 && p.getGreen() > p.getBlue() + 40; }), 20);
    EXPECT_EQ(countPixels(cell, [](juce::Colour p) { return p.getRed() > p.getGreen() + 40; }), 0);
    // The separator at the right edge: black at 20 % over white.
    EXPECT_NEAR(cell.getPixelAt(99, 10).getRed(), 204, 1);

    juce::Image rows(juce::Image::RGB, 50, 20, true);
    {
        juce::Graphics g(rows);
        g.fillAll(juce::Colours::white);
        table.paintRowBackground(g, 0, 50, 20, false);
        EXPECT_EQ(countPixels(rows, juce::Colours::white), 50 * 20);
        table.paintRowBackground(g, 0, 50, 20, true);
    }
    EXPECT_EQ(countPixels(rows, juce::Colour(173, 216, 230)), 50 * 20);
}

TEST(JobTable, OnlyOneRowIsSelectedAtATime) {
    FileListingComponent table;
    table.setSize(700, 300);
    table.addJob(jobFor("/a.jpg"));
    table.addJob(jobFor("/b.jpg"));
    table.getTable().selectRow(0);
    table.getTable().selectRow(1, false, false);
    EXPECT_EQ(table.getTable().getNumSelectedRows(), 1);
    EXPECT_EQ(table.getTable().getSelectedRow(), 1);
}

TEST(JobTable, DoubleClickShowsTheRowsLogJoinedAsItStands) {
    FileListingComponent table;
    table.setSize(700, 300);
    auto failed = jobFor("/broken.jpg");
    table.addJob(failed);
    failed.setResult("Error: can't open file /broken.jpg.", kStatusFailed);
    table.updateJob(failed);

    table.showResult(0);
    auto* dialog = apptest::topModal<BadFilesDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->getName(), "Processing Result");
    EXPECT_EQ(dialog->getContent().getTextBox().getText(), "Error: can't open file /broken.jpg.");

    dialog->getContent().getOkButton().triggerClick();
    EXPECT_TRUE(apptest::pumpUntil([] { return apptest::topModal<BadFilesDialog>() == nullptr; }));
}
