#include <gtest/gtest.h>

#include "setup/start_menu.h"

namespace {

TEST(StartMenu, ItemsTravelAsTextAndBack)
{
    const struct {
        StartMenuItems items;
        const char* text;
    } cases[] = {
        {{false, false, ""}, ""},
        {{true, false, ""}, "folder"},
        {{false, true, ""}, "link"},
        {{true, true, ""}, "folder;link"},
        {{false, false, "{OLD}"}, "relink={OLD}"},
        {{true, true, "{OLD}"}, "folder;link;relink={OLD}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StartMenuItemsText(c.items), c.text);
        const StartMenuItems read = ParseStartMenuItems(c.text);
        EXPECT_EQ(read.folder, c.items.folder);
        EXPECT_EQ(read.link, c.items.link);
        EXPECT_EQ(read.relinkCode, c.items.relinkCode);
    }
    // Words are whole: a longer or shorter word, or a null text, names nothing.
    for (const char* text : {"folders", "lin", "linked;folde", ";", "relink", static_cast<const char*>(nullptr)}) {
        const StartMenuItems read = ParseStartMenuItems(text);
        EXPECT_FALSE(read.folder || read.link || !read.relinkCode.empty()) << (text ? text : "(null)");
    }
}

TEST(StartMenu, OnlyAPlainFolderIsEntered)
{
    // Wine makes no junction or symbolic link, so their attributes stand in for them here.
    EXPECT_EQ(FolderKindFromAttributes(INVALID_FILE_ATTRIBUTES), FolderKind::Missing);
    EXPECT_EQ(FolderKindFromAttributes(FILE_ATTRIBUTE_DIRECTORY), FolderKind::Plain);
    EXPECT_EQ(FolderKindFromAttributes(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), FolderKind::Plain);
    EXPECT_EQ(FolderKindFromAttributes(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), FolderKind::Other);
    EXPECT_EQ(FolderKindFromAttributes(FILE_ATTRIBUTE_NORMAL), FolderKind::Other);
    EXPECT_EQ(FolderKindFromAttributes(FILE_ATTRIBUTE_ARCHIVE), FolderKind::Other);
}

} // namespace
