// The editor's grid model on its own: Qt's model checks over every edit, and the modified flag.
#include "listedit/WallPaperGridModel.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

namespace {

WallPaperList Entries(int count, const std::string &prefix = "/p/")
{
    WallPaperList list;
    for (int i = 0; i < count; ++i)
        list.push_back({prefix + std::to_string(i) + ".bmp", std::string(kPositionTile), ""});
    return list;
}

} // namespace

TEST(GridModel, EveryEditKeepsTheModelConsistentForItsViews)
{
    WallPaperGridModel model;
    // Fatal: a broken signal or index fails the test at once through Qt's message handler.
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(1, model.rowCount()); // the blank row
    model.Append(Entries(3));
    EXPECT_EQ(3, model.rowCount());
    model.MoveRow(0, 2);
    model.MoveRow(2, 0);
    model.SetPositions(0, 1, std::string(kPositionEnlarge));
    model.SetCorrections(1, 2, "150%");
    model.RemoveRows(1, 5);
    EXPECT_EQ(1, model.rowCount());
    model.RemoveRows(0, 0);
    EXPECT_TRUE(model.IsEmpty());
    EXPECT_EQ(1, model.rowCount());
    model.SetEntries(Entries(2, "/q/"));
    model.Append(Entries(1));
    model.Clear();
    EXPECT_EQ(1, model.rowCount());
}

TEST(GridModel, TheModifiedFlagTellsOfEachChange)
{
    WallPaperGridModel model;
    std::vector<bool> told;
    model.OnModifiedChanged = [&](bool modified) { told.push_back(modified); };
    EXPECT_FALSE(model.Modified());
    model.SetModified(false); // no change, nothing told
    model.SetModified(true);
    model.SetModified(true);
    EXPECT_TRUE(model.Modified());
    model.SetModified(false);
    EXPECT_EQ((std::vector<bool>{true, false}), told);
    // The rows alone do not set it: the editor's commands decide what counts as a change.
    model.Append(Entries(2));
    EXPECT_FALSE(model.Modified());
}
