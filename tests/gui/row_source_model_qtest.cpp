// The job list's model: pages read from its source, images given to rows following their rows.
#include "gui/row_source_model.h"

#include <gtest/gtest.h>

namespace {

// Rows "r0", "r1", ... with image 0, counting the reads and the rows read.
struct Rows : platform::ListRowSource {
    int count = 0;
    int reads = 0;
    int rowsRead = 0;
    std::string mark; // the text shown after each row's name
    int CountRows() override { return count; }
    void ReadRows(int first, int n, std::vector<platform::ListRow>& rows) override {
        ++reads;
        rows.clear();
        for (int i = first; i < first + n && i < count; ++i) {
            rows.push_back(platform::ListRow{"r" + std::to_string(i) + mark, 0, std::string()});
            ++rowsRead;
        }
    }
};

std::vector<int> Images(const gui::RowSourceModel& model, int rows) {
    std::vector<int> images;
    for (int i = 0; i < rows; ++i) {
        images.push_back(model.Row(i).image);
    }
    return images;
}

} // namespace

TEST(RowSourceModel, GivenImagesFollowTheirRowsThroughInsertsAndRemoves) {
    Rows source;
    source.count = 5;
    gui::RowSourceModel model(nullptr, nullptr);
    model.SetSource(&source);
    model.ReplaceRow(1, 7);
    model.ReplaceRow(3, 9);
    // A row inserted before both moves them down; the source now has one more row.
    source.count = 6;
    model.InsertRow(0, 4);
    EXPECT_EQ(Images(model, 6), (std::vector<int>{4, 0, 7, 0, 9, 0}));
    // Removing a row with a given image forgets that image and moves the later ones up.
    source.count = 5;
    model.RemoveRow(2);
    EXPECT_EQ(Images(model, 5), (std::vector<int>{4, 0, 0, 9, 0}));
    // Appending leaves every earlier image where it was, and a page is read once.
    source.count = 6;
    model.InsertRow(5, 2);
    const int reads = source.reads;
    EXPECT_EQ(Images(model, 6), (std::vector<int>{4, 0, 0, 9, 0, 2}));
    EXPECT_EQ(source.reads, reads + 1);
    EXPECT_EQ(model.Row(6).image, -1);
    model.Reload();
    EXPECT_EQ(Images(model, 6), (std::vector<int>(6, 0)));
}

TEST(RowSourceModel, AChangedRowIsReadAloneAndTheRestOfItsPageKept) {
    Rows source;
    source.count = 200;
    gui::RowSourceModel model(nullptr, nullptr);
    model.SetSource(&source);
    ASSERT_EQ(model.Row(70).text, "r70");
    const int rowsRead = source.rowsRead;
    source.mark = "*";
    model.RowChanged(70);
    EXPECT_EQ(source.rowsRead, rowsRead + 1);
    EXPECT_EQ(model.Row(70).text, "r70*");
    EXPECT_EQ(model.Row(71).text, "r71") << "the page was kept, not read again";
    // A row of a page not kept is read with its page when shown.
    model.RowChanged(5);
    EXPECT_EQ(source.rowsRead, rowsRead + 1);
    EXPECT_EQ(model.Row(5).text, "r5*");
}
