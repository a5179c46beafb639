#include "controls/button_bag.h"

#include <gtest/gtest.h>

#include "toolkit/bmp_format.h"

using namespace orvik;

namespace {

// A w x h, 24-bit BMP file filled with one byte value.
std::vector<uint8_t> Bmp(int w, int h, uint8_t fill) {
  auto header = MakeBmpHeader(w, h, 24);
  std::vector<uint8_t> bmp(header.begin(), header.end());
  bmp.resize(bmp.size() + BmpStride(w, 24) * h, fill);
  return bmp;
}

StoredButton TitleButton() {
  StoredButton s;
  s.pictures = {Bmp(19, 19, 0xEB), Bmp(19, 19, 0xF8), Bmp(19, 19, 0xBF)};
  s.powerButton = 2;
  s.text = "\xE5\xBD\x95 rec";
  s.fcolor = 0x00123456;
  s.value = true;
  return s;
}

std::vector<uint8_t> Encoded(const StoredButton& s) {
  PropertyBag bag;
  EXPECT_TRUE(WriteButtonBag(s, bag));
  return bag.Encode();
}

}  // namespace

TEST(ButtonBag, WritesTheSevenKeysInOrderWithTheirTypes) {
  PropertyBag bag;
  ASSERT_TRUE(WriteButtonBag(TitleButton(), bag));
  EXPECT_EQ(bag.Keys(),
            (std::vector<std::string>{"BackGroundPicture", "MouseMovePicture", "MouseDownPicture",
                                      "Button", "Text", "fcolor", "value"}));
  const PropType types[] = {PropType::Picture, PropType::Picture, PropType::Picture,
                            PropType::Int16,   PropType::String,  PropType::Int32,
                            PropType::Bool};
  for (size_t i = 0; i < kButtonKeyCount; ++i) EXPECT_EQ(bag.Find(kButtonKeys[i])->type, types[i]);

  // A control without pictures still writes every key; "no picture" has a byte count of 0.
  PropertyBag bare;
  ASSERT_TRUE(WriteButtonBag(StoredButton{}, bare));
  EXPECT_EQ(bare.size(), kButtonKeyCount);
  EXPECT_EQ(bare.Find("MouseDownPicture")->bytes.size(), 24u);
  EXPECT_EQ(ReadLe32(&bare.Find("MouseDownPicture")->bytes[20]), 0u);
}

TEST(ButtonBag, RoundTripThroughBytesKeepsEveryValue) {
  const StoredButton s = TitleButton();
  const std::vector<uint8_t> bytes = Encoded(s);
  const ButtonBagRead r = ReadButtonBag(bytes.data(), bytes.size());
  ASSERT_TRUE(r.ok()) << r.error->what;
  EXPECT_EQ(r.keysRead, kButtonKeyCount);
  EXPECT_EQ(r.stored, s);

  // Writing over a bag that already holds the keys in another case replaces them in place.
  PropertyBag host;
  host.WriteInt32("_extentx", 503);
  host.WriteInt16("button", 3);
  ASSERT_TRUE(WriteButtonBag(s, host));
  EXPECT_EQ(host.size(), 2 + kButtonKeyCount - 1);
  EXPECT_EQ(host.Keys()[1], "button");
  EXPECT_EQ(ReadButtonBag(host).stored.powerButton, 2);
}

TEST(ButtonBag, HostSpellingDefaultsAndIntegerWidths) {
  // Lower-case keys as the host stores them, a zero colour kept as a 16-bit integer and the
  // latch as a 16-bit -1; "button" missing.
  PropertyBag bag;
  bag.WriteInt32("_extentx", 503);
  bag.WriteInt32("_extenty", 503);
  bag.WritePicture("backgroundpicture", MakePersistedPicture(Bmp(2, 2, 9)));
  bag.WriteString("text", "x");
  bag.WriteInt16("fcolor", 0);
  bag.WriteInt16("value", -1);
  ButtonBagRead r = ReadButtonBag(bag);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.stored.pictures[0], Bmp(2, 2, 9));
  EXPECT_TRUE(r.stored.pictures[1].empty());
  EXPECT_EQ(r.stored.powerButton, 1);
  EXPECT_EQ(r.stored.text, "x");
  EXPECT_EQ(r.stored.fcolor, 0);
  EXPECT_TRUE(r.stored.value);

  // An empty bag: every default, PowerButton 1 (unlike a new control's 0).
  r = ReadButtonBag(PropertyBag{});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.stored, StoredButton{});
  EXPECT_EQ(r.stored.powerButton, 1);

  // Any integer width converts when it fits: a 32-bit "Button", a boolean colour, 2 as true.
  bag = PropertyBag{};
  bag.WriteInt32("Button", 4);
  bag.WriteBool("fcolor", true);
  bag.WriteInt32("value", 2);
  r = ReadButtonBag(bag);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.stored.powerButton, 4);
  EXPECT_EQ(r.stored.fcolor, -1);
  EXPECT_TRUE(r.stored.value);
}

TEST(ButtonBag, AValueOfTheWrongKindStopsAtItsKey) {
  struct Case {
    const char* what;
    void (*spoil)(PropertyBag&);
    size_t key;
  };
  const Case cases[] = {
      {"picture that is no BMP",
       [](PropertyBag& b) {
         const uint8_t text[] = {'h', 'e', 'l', 'l', 'o'};
         b.WritePicture("MouseMovePicture", MakePersistedPicture(text, sizeof text));
       },
       kKeyMouseMovePicture},
      {"picture stored as a string",
       [](PropertyBag& b) { b.WriteString("MouseDownPicture", "pic.bmp"); }, kKeyMouseDownPicture},
      {"Button beyond 16 bits", [](PropertyBag& b) { b.WriteInt32("Button", 70000); }, kKeyButton},
      {"Text as a number", [](PropertyBag& b) { b.WriteInt16("Text", 5); }, kKeyText},
      {"fcolor as a string", [](PropertyBag& b) { b.WriteString("fcolor", "red"); }, kKeyFcolor},
      {"value as a picture",
       [](PropertyBag& b) { b.WritePicture("value", MakePersistedPicture(Bmp(1, 1, 0))); },
       kKeyValue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PropertyBag bag;
    WriteButtonBag(TitleButton(), bag);
    c.spoil(bag);
    const ButtonBagRead r = ReadButtonBag(bag);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.keysRead, c.key);
    EXPECT_EQ(r.error->key, kButtonKeys[c.key]);
    EXPECT_EQ(r.error->index, c.key);
    EXPECT_FALSE(r.error->what.empty());
    // What was read before it is there.
    if (c.key > kKeyBackGroundPicture) {
      EXPECT_EQ(r.stored.pictures[0], TitleButton().pictures[0]);
    }
  }
}

TEST(ButtonBag, ATruncatedBagStopsAtTheKeyItEndsIn) {
  const StoredButton s = TitleButton();
  const std::vector<uint8_t> bytes = Encoded(s);
  size_t lastKeys = 0;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    const ButtonBagRead r = ReadButtonBag(bytes.data(), cut);
    ASSERT_FALSE(r.ok()) << "cut at " << cut;
    ASSERT_LT(r.keysRead, kButtonKeyCount);
    // Reading never goes backwards as more of the bag is there, and never takes a default
    // for a key that was cut off: every key read equals what was written.
    EXPECT_GE(r.keysRead, lastKeys);
    lastKeys = r.keysRead;
    EXPECT_EQ(r.error->key, kButtonKeys[r.keysRead]);
    for (size_t k = 0; k < r.keysRead && k < 3; ++k) {
      EXPECT_EQ(r.stored.pictures[k], s.pictures[k]);
    }
    const StoredButton defaults;
    EXPECT_EQ(r.stored.powerButton, r.keysRead > kKeyButton ? s.powerButton : defaults.powerButton);
    EXPECT_EQ(r.stored.text, r.keysRead > kKeyText ? s.text : defaults.text);
    EXPECT_EQ(r.stored.fcolor, r.keysRead > kKeyFcolor ? s.fcolor : defaults.fcolor);
  }
  EXPECT_EQ(lastKeys, kKeyValue);  // cut inside the last entry: six keys read
  EXPECT_TRUE(ReadButtonBag(bytes.data(), bytes.size()).ok());
}

TEST(ButtonBag, DamageInAHostKeyBeforeOursAppliesNoDefaults) {
  PropertyBag bag;
  bag.WriteInt32("_extentx", 503);
  WriteButtonBag(TitleButton(), bag);
  std::vector<uint8_t> bytes = bag.Encode();
  bytes[10 + 2 + 8 + 1] = 9;  // the value length of "_extentx" no longer 4
  const ButtonBagRead r = ReadButtonBag(bytes.data(), bytes.size());
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.keysRead, 0u);
  EXPECT_EQ(r.error->key, "BackGroundPicture");
  EXPECT_NE(r.error->what.find("_extentx"), std::string::npos);

  const uint8_t junk[] = {'n', 'o', 't', ' ', 'a', ' ', 'b', 'a', 'g'};
  EXPECT_EQ(ReadButtonBag(junk, sizeof junk).keysRead, 0u);
  EXPECT_FALSE(ReadButtonBag(nullptr, 0).ok());
}
