#include "app/preferences.h"

#include "platform/settings_store.h"

namespace larkspur {

Preferences::Preferences(std::string settingsFilePath) : path_(std::move(settingsFilePath)) {}

Preferences::~Preferences() = default;

void Preferences::open() {
  if (!store_) store_ = std::make_unique<SettingsStore>(path_);
}

void Preferences::writeDefaults() {
  open();
  hideArtist = 1;
  muteAds = 0;
  closePlayerOnExit = 0;
  hideArtwork = 0;
  iconShown = 1;
  shortcutNext = shortcutPrevious = shortcutRepeat = Text();
  shortcutShuffle = shortcutPause = shortcutDetails = Text();
  store_->setInteger("Val9", 1);
  store_->setInteger("Val11", 0);
  store_->setInteger("Val17", 0);
  store_->setInteger("Val19", 0);
  for (const char* key : {"Val31", "Val33", "Val35", "Val37", "Val39", "Val41"})
    store_->setString(key, "");
  store_->setInteger("Val51", 1);
  synchronize();
}

bool Preferences::load() {
  open();
  bool usable = store_->read();
  hideArtist = readFlag("Val9");
  muteAds = readFlag("Val11");
  closePlayerOnExit = readFlag("Val17");
  hideArtwork = readFlag("Val19");
  shortcutNext = readString("Val31");
  shortcutPrevious = readString("Val33");
  shortcutRepeat = readString("Val35");
  shortcutShuffle = readString("Val37");
  shortcutPause = readString("Val39");
  shortcutDetails = readString("Val41");
  iconShown = readFlag("Val51");
  synchronize();
  return usable;
}

Text Preferences::readString(const std::string& key) {
  open();
  return fromUtf8(store_->string(key).value_or(std::string()));
}

void Preferences::storeFlag(const std::string& labelKey, const Text& labelValue,
                            const std::string& valueKey, std::int8_t newFlag) {
  open();
  if (std::int8_t* flag = flagFor(valueKey)) *flag = newFlag;
  store_->setString(labelKey, toUtf8(labelValue));
  store_->setInteger(valueKey, newFlag);
  synchronize();
}

void Preferences::storeShortcut(const std::string& labelKey, const Text& labelValue,
                                const std::string& valueKey, const Text& text) {
  open();
  store_->setString(labelKey, toUtf8(labelValue));
  store_->setString(valueKey, toUtf8(text));
  synchronize();
}

// A failed write is not reported: the old file stays whole and the next
// change writes everything again.
void Preferences::synchronize() {
  open();
  store_->synchronize();
}

std::int8_t Preferences::readFlag(const std::string& key) {
  // Only the low byte counts, as a signed value: 256 reads 0, -1 reads -1.
  auto value = static_cast<std::uint64_t>(store_->integer(key).value_or(0));
  return static_cast<std::int8_t>(static_cast<std::uint8_t>(value & 0xFF));
}

std::int8_t* Preferences::flagFor(const std::string& valueKey) {
  if (valueKey == "Val9") return &hideArtist;
  if (valueKey == "Val11") return &muteAds;
  if (valueKey == "Val17") return &closePlayerOnExit;
  if (valueKey == "Val19") return &hideArtwork;
  if (valueKey == "Val51") return &iconShown;
  return nullptr;
}

}  // namespace larkspur
