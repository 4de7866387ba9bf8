#pragma once
// The user's options and shortcuts, kept in memory and in the settings file.
// Each change writes its label entry and value entry and synchronizes.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/text.h"

namespace larkspur {

class SettingsStore;

class Preferences {
 public:
  // settingsFilePath: <home>/Library/Preferences/Larkspur.plist
  explicit Preferences(std::string settingsFilePath);
  ~Preferences();

  void open();
  void writeDefaults();
  // False when the file could not be read as settings: it has been moved
  // aside, and the caller decides what takes its place.
  bool load();
  Text readString(const std::string& key);
  void storeFlag(const std::string& labelKey, const Text& labelValue,
                 const std::string& valueKey, std::int8_t newFlag);
  void storeShortcut(const std::string& labelKey, const Text& labelValue,
                     const std::string& valueKey, const Text& text);
  void synchronize();
  const std::string& settingsFilePath() const { return path_; }

  std::int8_t hideArtist = 0;
  std::int8_t muteAds = 0;
  std::int8_t closePlayerOnExit = 0;
  std::int8_t hideArtwork = 0;
  std::int8_t iconShown = 0;
  Text shortcutNext, shortcutPrevious, shortcutRepeat, shortcutShuffle, shortcutPause,
      shortcutDetails;

 private:
  std::int8_t readFlag(const std::string& key);
  std::int8_t* flagFor(const std::string& valueKey);
  std::string path_;
  std::unique_ptr<SettingsStore> store_;
};

}  // namespace larkspur
