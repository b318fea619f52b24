// The rows of a folder one at a time, for a run that lists as it goes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filelist/FileListOps.h"
#include "filelist/FolderExpansion.h"
#include "filelist/FolderRowWalk.h"
#include "runs/RunState.h"
#include "support/FakeRunWindow.h"
#include "support/TempDir.h"

namespace {

std::vector<NewRow> WalkRows(const std::vector<std::u16string>& folders) {
    std::vector<NewRow> rows;
    FolderRowWalk walk(folders);
    for (NewRow row; walk.Next(row);) rows.push_back(row);
    NewRow after;
    EXPECT_FALSE(walk.Next(after));  // and stays ended
    return rows;
}

std::vector<std::u16string> Sorted(std::vector<std::u16string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(FolderRowWalk, TheRowsOfTheExpansionEachFolderAfterWhatItHolds) {
    TempDir dir;
    dir.WriteFile("t/f1", "1");
    dir.WriteFile("t/.env", "22");
    dir.WriteFile("t/b/g1", "333");
    dir.WriteFile("t/b/c/h1", "4444");
    dir.WriteFile("t/b/c/h2", "55555");
    dir.MakeDir("t/e");
    dir.MakeDir("t/b/d");
    ASSERT_EQ(::symlink("../outside", dir.Sub("t/b/link").c_str()), 0);
    dir.WriteFile("u/only", "6");
    const std::u16string t = dir.WSub("t/"), u = dir.WSub("u/"), missing = dir.WSub("gone/");

    const std::vector<NewRow> rows = WalkRows({t, missing, u});

    // The same rows, with the same texts, as the window's expansion lists.
    FakeRunWindow window;
    RunState state;
    state.stop = false;
    {
        FileRowSeries series(window);
        ExpandFolder(series, state, t, {});
        ExpandFolder(series, state, missing, {});
        ExpandFolder(series, state, u, {});
    }
    std::vector<std::u16string> walked, listed;
    for (const NewRow& r : rows)
        walked.push_back(r.name + u"|" + r.size + u"|" + r.date + u"|" + r.path);
    for (int i = 0; i < window.RowCount(); ++i)
        listed.push_back(window.RowText(i, 0) + u"|" + window.RowText(i, 1) + u"|" +
                         window.RowText(i, 2) + u"|" + window.RowText(i, 3));
    EXPECT_EQ(Sorted(walked), Sorted(listed));
    EXPECT_EQ(rows.size(), 14u);  // t: 6 entries, 5 folders; the missing folder; u: 2

    // Everything inside a folder comes together, its own row last: once a row of
    // the folder is met, nothing else comes until the folder's row.
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].date != kFolderMarker) continue;
        const std::u16string& folder = rows[i].path;
        size_t first = i;
        for (size_t j = 0; j < i; ++j)
            if (rows[j].path.rfind(folder, 0) == 0) first = std::min(first, j);
        for (size_t j = first; j < rows.size(); ++j)
            EXPECT_EQ(rows[j].path.rfind(folder, 0) == 0, j <= i)
                << "row " << j << " and the rows of folder row " << i;
    }
    // The chosen folders in the order given, a missing one with its row alone.
    EXPECT_EQ(rows[10].path, t);
    EXPECT_EQ(rows[11].path, missing);
    EXPECT_EQ(rows[11].date, kFolderMarker);
    EXPECT_EQ(rows.back().path, u);
}

}  // namespace
