#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Bitarraylistunit.h"

namespace {

// Arrays made from binary texts, owned by the fixture; the list only borrows.
class TBitArrayListTest : public ::testing::Test {
protected:
  TBitArray* Make(const std::string& bits, std::int32_t tag = -1) {
    auto array = std::make_unique<TBitArray>(static_cast<std::int32_t>(bits.size()));
    array->FromBinStr(bits);
    array->Tag = tag;
    Owned.push_back(std::move(array));
    return Owned.back().get();
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto* item : List.Items)
      texts.push_back(item->ToBinStr());
    return texts;
  }
  std::vector<std::unique_ptr<TBitArray>> Owned;
  TBitArrayList List;
};

} // namespace

TEST_F(TBitArrayListTest, EmptyListFindsNothingAtPositionZero) {
  std::int32_t position = -5;
  EXPECT_FALSE(List.Find(Make("01"), position));
  EXPECT_EQ(position, 0);
  EXPECT_EQ(List.IndexOf(Make("01")), -1);
  EXPECT_EQ(List.ItemCount(), 0);
}

TEST_F(TBitArrayListTest, AddUniqueKeepsAscendingOrderWhateverTheInsertionOrder) {
  const std::vector<std::vector<std::string>> orders = {
      {"01", "10", "11"}, {"11", "10", "01"}, {"10", "11", "01"}, {"11", "01", "10"}};
  for (const auto& order : orders) {
    List.Items.clear();
    for (const auto& bits : order)
      List.AddUnique(Make(bits));
    EXPECT_EQ(Texts(), (std::vector<std::string>{"01", "10", "11"}));
  }
}

TEST_F(TBitArrayListTest, EqualBitsAreOneItemWhateverTheTag) {
  TBitArray* first = Make("0110", 3);
  List.AddUnique(first);
  List.AddUnique(Make("0110", 7));
  ASSERT_EQ(List.ItemCount(), 1);
  EXPECT_EQ(List.Items[0], first);
  EXPECT_EQ(List.IndexOf(Make("0110", 9)), 0);
  List.AddUnique(Make("0111"));
  EXPECT_EQ(List.ItemCount(), 2);
}

TEST_F(TBitArrayListTest, FindGivesTheInsertionPlaceOfAMissingProbe) {
  for (const char* bits : {"0010", "0100", "1000"})
    List.AddUnique(Make(bits));
  struct Case {
    const char* probe;
    bool found;
    std::int32_t position;
  };
  const Case cases[] = {{"0000", false, 0}, {"0010", true, 0}, {"0011", false, 1}, {"0100", true, 1},
                        {"0101", false, 2}, {"1000", true, 2}, {"1111", false, 3}};
  for (const auto& c : cases) {
    std::int32_t position = -1;
    EXPECT_EQ(List.Find(Make(c.probe), position), c.found) << c.probe;
    EXPECT_EQ(position, c.position) << c.probe;
  }
}

TEST_F(TBitArrayListTest, InsertAtPutsThePointerBeforeThePosition) {
  TBitArray* a = Make("001");
  TBitArray* c = Make("100");
  List.InsertAt(a, 0);
  List.InsertAt(c, 1);
  TBitArray* b = Make("010");
  List.InsertAt(b, 1);
  EXPECT_EQ(List.Items, (std::vector<TBitArray*>{a, b, c}));
}
