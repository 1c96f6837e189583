// SettingsTable: the keys of one configuration section, each bound to the
// member that holds it, with its default and the rule by which it is saved.
// The one table reads the section, writes it, sets the defaults and copies
// the settings, so a key, its member and its default are written down once.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/Profile.h"

namespace meldrix {

// How a key is treated when its section is saved.
enum class SettingWrite {
  kAlways,         // written whatever its value
  kUnlessDefault,  // removed from the section when the value equals the default
  kReadOnly,       // never written: the value comes from the file or the default
};

// One element of a member array, for numbered keys such as "MidTrigger1":
// SettingElement<&CMessage::m_MidTrigger, 0>().
template <class Owner, class T>
struct SettingElementAccess {
  T& (*get)(Owner&);
  const T& (*getConst)(const Owner&);
};

namespace settings_detail {
template <class>
struct ArrayMember;
template <class Owner, class T, std::size_t N>
struct ArrayMember<T (Owner::*)[N]> {
  using OwnerType = Owner;
  using ValueType = T;
  static constexpr std::size_t kSize = N;
};
}  // namespace settings_detail

template <auto Array, std::size_t Index>
constexpr auto SettingElement() {
  using Traits = settings_detail::ArrayMember<decltype(Array)>;
  using Owner = typename Traits::OwnerType;
  using T = typename Traits::ValueType;
  static_assert(Index < Traits::kSize);
  return SettingElementAccess<Owner, T>{
      [](Owner& owner) -> T& { return (owner.*Array)[Index]; },
      [](const Owner& owner) -> const T& { return (owner.*Array)[Index]; }};
}

// One key of a section. The value types are those of the file's encodings:
// bool, int, long, char and std::string.
template <class Owner>
class Setting {
 public:
  // With its default.
  template <class T, class Base>
    requires std::is_base_of_v<Base, Owner>
  Setting(const char* key, T Base::*member, std::type_identity_t<T> def, SettingWrite write)
      : key_(key), field_(Field<T>{member, {}, std::move(def)}), write_(Checked<T>(key, write)),
        hasDefault_(true) {}
  template <class T>
  Setting(const char* key, SettingElementAccess<Owner, T> element, std::type_identity_t<T> def,
          SettingWrite write)
      : key_(key), field_(Field<T>{nullptr, element, std::move(def)}),
        write_(Checked<T>(key, write)), hasDefault_(true) {}
  // The default taken from the defaults object of the table.
  template <class T, class Base>
    requires std::is_base_of_v<Base, Owner>
  Setting(const char* key, T Base::*member, SettingWrite write)
      : key_(key), field_(Field<T>{member, {}, {}}), write_(Checked<T>(key, write)) {}
  template <class T>
  Setting(const char* key, SettingElementAccess<Owner, T> element, SettingWrite write)
      : key_(key), field_(Field<T>{nullptr, element, {}}), write_(Checked<T>(key, write)) {}

  const char* Key() const { return key_; }
  bool HasDefault() const { return hasDefault_; }

  void TakeDefaultFrom(const Owner& defaults) {
    std::visit([&](auto& field) { field.def = field.Of(defaults); }, field_);
    hasDefault_ = true;
  }
  void SetDefault(Owner& owner) const {
    std::visit([&](const auto& field) { field.Of(owner) = field.def; }, field_);
  }
  void Copy(const Owner& from, Owner& to) const {
    std::visit([&](const auto& field) { field.Of(to) = field.Of(from); }, field_);
  }

  void Load(const CSection& section, Owner& owner) const {
    std::visit([&](const auto& field) { field.Of(owner) = Read(section, field.def); }, field_);
  }

  void Save(CSection& section, const Owner& owner) const {
    std::visit(
        [&](const auto& field) {
          using T = std::decay_t<decltype(field.def)>;
          const T& value = field.Of(owner);
          if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::string>) {
            if (write_ == SettingWrite::kUnlessDefault) {
              // Strings are compared as they would be stored (line breaks as blanks).
              WriteUnlessDefault(section, value, field.def);
              return;
            }
          }
          if constexpr (!std::is_same_v<T, char>) {
            if (write_ == SettingWrite::kAlways) WriteValue(section, value);
          }
        },
        field_);
  }

 private:
  // A member, or one element of a member array.
  template <class T>
  struct Field {
    T Owner::*member;
    SettingElementAccess<Owner, T> element;
    T def;
    T& Of(Owner& owner) const { return member ? owner.*member : element.get(owner); }
    const T& Of(const Owner& owner) const {
      return member ? owner.*member : element.getConst(owner);
    }
  };

  bool Read(const CSection& section, bool def) const { return section.GetBool(key_, def); }
  int Read(const CSection& section, int def) const { return section.GetInt(key_, def); }
  long Read(const CSection& section, long def) const { return section.GetLong(key_, def); }
  char Read(const CSection& section, char def) const { return section.GetChar(key_, def); }
  std::string Read(const CSection& section, const std::string& def) const {
    return section.GetString(key_, def);
  }

  void WriteValue(CSection& section, bool value) const { section.WriteBool(key_, value); }
  void WriteValue(CSection& section, int value) const { section.WriteInt(key_, value); }
  void WriteValue(CSection& section, long value) const { section.WriteLong(key_, value); }
  void WriteValue(CSection& section, const std::string& value) const {
    section.WriteString(key_, value);
  }
  void WriteUnlessDefault(CSection& section, int value, int def) const {
    section.WriteInt(key_, value, def);
  }
  void WriteUnlessDefault(CSection& section, const std::string& value,
                          const std::string& def) const {
    section.WriteString(key_, value, def);
  }

  // The writes CSection has: a character is never written, and only integers
  // and strings are written with a default.
  template <class T>
  static SettingWrite Checked(const char* key, SettingWrite write) {
    const bool possible =
        std::is_same_v<T, char>
            ? write == SettingWrite::kReadOnly
            : write != SettingWrite::kUnlessDefault || std::is_same_v<T, int> ||
                  std::is_same_v<T, std::string>;
    if (!possible) throw std::logic_error(std::string("no such write for setting ") + key);
    return write;
  }

  const char* key_;
  std::variant<Field<bool>, Field<int>, Field<long>, Field<char>, Field<std::string>> field_;
  SettingWrite write_;
  bool hasDefault_ = false;
};

// The keys of one section in the order they are saved (the order of reading
// does not matter).
template <class Owner>
class SettingsTable {
 public:
  // Every setting carries its default.
  SettingsTable(std::initializer_list<Setting<Owner>> settings) : settings_(settings) {
    for (const auto& setting : settings_)
      if (!setting.HasDefault())
        throw std::logic_error(std::string("setting without a default: ") + setting.Key());
  }
  // The defaults are the values of `defaults`, an object as its member
  // initialisers leave it; they are written once, there.
  SettingsTable(const Owner& defaults, std::initializer_list<Setting<Owner>> settings)
      : settings_(settings) {
    for (auto& setting : settings_) {
      if (setting.HasDefault())
        throw std::logic_error(std::string("default given twice: ") + setting.Key());
      setting.TakeDefaultFrom(defaults);
    }
  }

  // Missing keys read as their defaults.
  void Load(const CSection& section, Owner& owner) const {
    for (const auto& setting : settings_) setting.Load(section, owner);
  }
  void Save(CSection& section, const Owner& owner) const {
    for (const auto& setting : settings_) setting.Save(section, owner);
  }
  void SetDefaults(Owner& owner) const {
    for (const auto& setting : settings_) setting.SetDefault(owner);
  }
  void Copy(const Owner& from, Owner& to) const {
    for (const auto& setting : settings_) setting.Copy(from, to);
  }

 private:
  std::vector<Setting<Owner>> settings_;
};

}  // namespace meldrix
