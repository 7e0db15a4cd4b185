#include "LoadRequest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

TEST(LoadRequest, FieldsAndTheKnownShellList)
{
    auto block = std::make_unique<TLoadBlock>();
    std::memset(block.get(), 0, sizeof(TLoadBlock));
    block->Kind = 4;
    std::strcpy(block->Name, "Synth Shell");
    std::memset(block->FileName, 'F', sizeof(block->FileName)); // no terminator
    block->ClassID[15] = 0x7E;
    block->LoadFlags = 0x06;
    block->ShellId = 1234;
    block->Settings.SampleRate = 48000;
    block->Settings.Tempo = 97.5;
    block->ShellCount = 3;
    const char* names[] = {"Synth A", "synth a", "Bass"};
    for (int i = 0; i < 3; ++i) {
        block->Shell[i].Kind = 0;
        block->Shell[i].Id = 100 + i;
        std::strcpy(block->Shell[i].Name, names[i]);
    }
    const TLoadRequest r = ReadLoadRequest(*block);
    EXPECT_EQ(r.Description.Kind, 4);
    EXPECT_STREQ(r.Description.Name, "Synth Shell");
    EXPECT_EQ(std::strlen(r.Description.FileName), 260u);
    EXPECT_EQ(r.Description.ClassID[15], 0x7E);
    EXPECT_EQ(r.Description.LoadFlags, 0x06);
    EXPECT_EQ(r.Description.ShellId, 1234);
    EXPECT_EQ(r.Settings.SampleRate, 48000);
    EXPECT_DOUBLE_EQ(r.Settings.Tempo, 97.5);
    ASSERT_NE(r.ShellList, nullptr);
    TShellPluginInfoList* const described = r.Description.ShellList; // packed field: read by value
    EXPECT_EQ(described, r.ShellList.get());
    ASSERT_EQ(r.ShellList->Count(), 2); // names compare without letter case
    const TShellPluginInfo* a = r.ShellList->GetItems(r.ShellList->IndexOf("SYNTH A"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Id, 101); // the later entry's fields
}

TEST(LoadRequest, ShellCountsOutsideTheBlockAreLimited)
{
    auto block = std::make_unique<TLoadBlock>();
    std::memset(block.get(), 0, sizeof(TLoadBlock));
    for (int i = 0; i < kMaxShellEntries; ++i) {
        std::snprintf(block->Shell[i].Name, sizeof(block->Shell[i].Name), "Sub %04d", i);
        block->Shell[i].Id = i;
    }
    block->ShellCount = 1 << 30;
    EXPECT_EQ(ReadLoadRequest(*block).ShellList->Count(), kMaxShellEntries);
    block->ShellCount = -5;
    EXPECT_EQ(ReadLoadRequest(*block).ShellList, nullptr);
    block->ShellCount = 0;
    TShellPluginInfoList* const none = ReadLoadRequest(*block).Description.ShellList;
    EXPECT_EQ(none, nullptr);
    // A name that fills its whole field is taken up to the field's end.
    block->ShellCount = 1;
    std::memset(block->Shell[0].Name, 'x', sizeof(block->Shell[0].Name));
    EXPECT_EQ(ReadLoadRequest(*block).ShellList->GetItems(0)->Name, std::string(260, 'x'));
}

TEST(LoadRequest, WrittenShellListStopsAt1024)
{
    TShellPluginInfoList list;
    for (int i = 0; i < 1500; ++i)
        list.AddOrUpdate("Plug " + std::to_string(10000 + i), 0, TClassID{}, i);
    auto block = std::make_unique<TLoadBlock>();
    std::memset(block.get(), 0xCC, sizeof(TLoadBlock));
    WriteShellList(*block, list);
    EXPECT_EQ(block->ShellCount, 1024);
    EXPECT_STREQ(block->Shell[0].Name, list.GetItems(0)->Name.c_str());
    EXPECT_EQ(block->Shell[1023].Id, list.GetItems(1023)->Id);
}
