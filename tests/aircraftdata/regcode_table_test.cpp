#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "aircraftdata/regcode_table.h"

namespace {

// Many registrations through several growths: each is found with the title
// it was first bound to, a later tryBind keeps that title, bind replaces it,
// and the table's own copies of bind's texts survive a move of the table.
TEST(RegcodeTableTest, BindsFindsReplacesAndKeepsItsOwnTexts) {
  std::vector<std::string> keys, titles;
  for (int i = 0; i < 5000; ++i) {
    keys.push_back("G-" + std::to_string(i));
    titles.push_back("Title " + std::to_string(i));
  }
  RegcodeTable table;
  EXPECT_EQ(table.find("G-0"), nullptr);
  for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(table.tryBind(keys[i], titles[i]), titles[i]);
  EXPECT_EQ(table.tryBind(keys[7], "other"), titles[7]);
  ASSERT_EQ(table.size(), keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) ASSERT_EQ(table.at(keys[i]), titles[i]) << keys[i];
  EXPECT_FALSE(table.contains("G-5000"));
  EXPECT_FALSE(table.contains(""));
  EXPECT_THROW((void)table.at("G-x"), std::out_of_range);
  EXPECT_EQ(table.begin()->first, "G-0");  // binding order

  table.bind(std::string("G-1"), "replaced");
  table.bind(std::string("OH-NEW"), "new");  // the temporary text goes at once
  RegcodeTable moved = std::move(table);
  EXPECT_EQ(moved.at("G-1"), "replaced");
  EXPECT_EQ(moved.at("OH-NEW"), "new");
  EXPECT_EQ(moved.size(), keys.size() + 1);

  moved.clear();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved.find("G-1"), nullptr);
  moved.bind("D-AIZA", "again");
  EXPECT_EQ(moved.at("D-AIZA"), "again");
}

}  // namespace
