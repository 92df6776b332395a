#include "safe/TemplateContent.h"

#include <cmath>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "safe/qmSettings.h"

namespace quillmar {

namespace {

std::string Day(int year, int month, int day) {
  return std::to_string(static_cast<int64_t>(std::floor(EncodeDate(year, month, day))));
}

const char kReminderId[] = "1000001";

TTemplateField F(std::string name, TqmFieldType type, bool required = false) {
  return {std::move(name), type, required};
}

std::vector<TTemplateCategory> MakeCategories() {
  const TTemplateField notes = F("Notes", ftTextMemo);
  return {
      {"Internet",
       "globe.ico",
       {F("Name", ftNormalText, true), F("Web site", ftURL), F("User name", ftNormalText),
        F("Password", ftPassword), notes},
       {
           {"Web Logins",
            "browser.ico",
            {F("Web site name", ftNormalText, true), F("Address", ftURL), F("User name", ftNormalText),
             F("Password", ftPassword), F("E-mail used", ftEMail), notes},
            {}},
           {"E-mail Accounts",
            "envelope.ico",
            {F("Account", ftNormalText, true), F("E-mail address", ftEMail, true), F("Password", ftPassword),
             F("Incoming server (IMAP/POP3)", ftNormalText), F("Outgoing server (SMTP)", ftNormalText),
             F("Web mail", ftURL), notes},
            {}},
           {"Social Networks",
            "chat.ico",
            {F("Network", ftNormalText, true), F("Profile", ftURL), F("User name", ftNormalText),
             F("Password", ftPassword), F("E-mail used", ftEMail), F("Two-step verification", ftYesNo),
             F("Recovery codes", ftPassword), notes},
            {}},
       }},
      {"Finance",
       "coins.ico",
       {F("Name", ftNormalText, true), F("Number", ftNormalText), F("Password", ftPassword), notes},
       {
           {"Credit Cards",
            "card.ico",
            {F("Card name", ftNormalText, true), F("Card number", ftNormalText, true),
             F("Card holder", ftNormalText), F("Valid until", ftDate), F("Security code", ftPassword),
             F("PIN", ftPassword), F("Credit limit", ftCurrency), F("Lost card hotline", ftNormalText),
             F("Expiry reminder", ftReminder), notes},
            {}},
           {"Bank Accounts",
            "bank.ico",
            {F("Account name", ftNormalText, true), F("Bank", ftNormalText),
             F("Account number (IBAN)", ftNormalText), F("BIC / sort code", ftNormalText),
             F("Online banking", ftURL), F("User ID", ftNormalText), F("Password", ftPassword),
             F("PIN", ftPassword), F("Balance", ftCurrency), notes},
            {}},
           {"Insurance Policies",
            "shield.ico",
            {F("Policy", ftNormalText, true), F("Insurer", ftNormalText),
             F("Policy number", ftNormalText, true), F("Cover", ftNormalText),
             F("Yearly premium", ftCurrency), F("Renewal date", ftDate), F("Renews automatically", ftYesNo),
             F("Claims hotline", ftNormalText), F("Web site", ftURL), F("Policy document", ftFile), notes},
            {}},
       }},
      {"Software Licences",
       "disc.ico",
       {F("Product", ftNormalText, true), F("Version", ftNormalText), F("Licence key", ftPassword),
        F("Registered to", ftNormalText), F("Registration e-mail", ftEMail), F("Purchase date", ftDate),
        F("Price", ftCurrency), F("Number of licences", ftNumber), F("Download", ftURL),
        F("Licence file", ftFile), notes},
       {}},
      {"Personal",
       "person.ico",
       {F("Name", ftNormalText, true), F("Number", ftNormalText), notes},
       {
           {"Identities",
            "idbadge.ico",
            {F("Document", ftNormalText, true), F("Document number", ftNormalText, true),
             F("Full name", ftNormalText), F("Date of birth", ftDate), F("Issued on", ftDate),
             F("Valid until", ftDate), F("Issued by", ftNormalText), F("Scan", ftPicture), notes},
            {}},
           {"Memberships",
            "star.ico",
            {F("Organisation", ftNormalText, true), F("Member number", ftNormalText),
             F("Member since", ftDate), F("Yearly fee", ftCurrency), F("Renews automatically", ftYesNo),
             F("Web site", ftURL), F("Password", ftPassword), notes},
            {}},
           {"Health",
            "health.ico",
            {F("Name", ftNormalText, true), F("Insurer", ftNormalText), F("Insurance number", ftNormalText),
             F("Doctor", ftNormalText), F("Practice phone", ftNormalText), F("Blood group", ftNormalText),
             F("Allergies and medication", ftTextMemo), F("Next check-up", ftDate),
             F("Check-up reminder", ftReminder), notes},
            {}},
           {"Travel & Loyalty",
            "plane.ico",
            {F("Programme", ftNormalText, true), F("Member number", ftNormalText), F("Status", ftNormalText),
             F("Points", ftNumber), F("Web site", ftURL), F("User name", ftNormalText),
             F("Password", ftPassword), notes},
            {}},
       }},
      {"Computers & Networks",
       "computer.ico",
       {F("Name", ftNormalText, true), F("Host or address", ftNormalText), F("User name", ftNormalText),
        F("Password", ftPassword), notes},
       {
           {"Wi-Fi Networks",
            "wifi.ico",
            {F("Network name (SSID)", ftNormalText, true), F("Password", ftPassword),
             F("Security", ftNormalText), F("Router address", ftURL), F("Router password", ftPassword),
             notes},
            {}},
       }},
      {"PINs & Codes",
       "key.ico",
       {F("Name", ftNormalText, true), F("Code", ftPassword, true), F("Where it is used", ftNormalText),
        notes},
       {}},
      {"Notes",
       "note.ico",
       {F("Title", ftNormalText, true), F("Note", ftTextMemo), F("Important", ftYesNo),
        F("Reminder", ftReminder)},
       {}},
  };
}

std::vector<TTemplateEntry> MakeEntries() {
  return {
      {"Internet\\Web Logins\\",
       "cart.ico",
       {"Example Shop", "https://shop.example.com/login", "anna.berg", "v7#Lp2q!Xe9m",
        "anna.berg@example.org", "Loyalty points are collected on this account."}},
      {"Internet\\Web Logins\\",
       "cloud.ico",
       {"Photo cloud", "https://photos.example.net", "annaberg", "Kq4!zR8w-Tn2", "anna.berg@example.org",
        ""}},
      {"Internet\\Social Networks\\",
       "chat.ico",
       {"Example Social", "https://social.example.com/annaberg", "annaberg", "Tr33-Lantern#5",
        "anna.berg@example.org", "True", "4821-9930 7715-2046 3308-6612",
        "Recovery codes work once each; cross out the ones used."}},
      {"Internet\\E-mail Accounts\\",
       "at.ico",
       {"Personal mail", "anna.berg@example.org", "m0on-River-42", "imap.example.org", "smtp.example.org",
        "https://mail.example.org", "Port 993 (IMAP, SSL) and 587 (SMTP, STARTTLS)."}},
      {"Finance\\Credit Cards\\",
       "card.ico",
       {"Visa card", "4111 1111 1111 1111", "ANNA BERG", Day(2029, 8, 31), "123", "4321", "2500.00",
        "+1 555 0100", "", "This is a test card number: it does not work in any shop."}},
      {"Finance\\Bank Accounts\\",
       "bank.ico",
       {"Current account", "Example Bank", "DE89 3704 0044 0532 0130 00", "COBADEFFXXX",
        "https://online.bank.example.com", "12345678", "Bq7$hV2k!pW", "9081", "1520.75", ""}},
      {"Software Licences\\",
       "disc.ico",
       {"Photo Studio", "4.2", "PHST-7Q2K-M9XD-4LRA", "Anna Berg", "anna.berg@example.org", Day(2025, 3, 14),
        "49.90", "2", "https://downloads.example.com/photostudio", "", "Licence for two computers."}},
      {"Finance\\Insurance Policies\\",
       "shield.ico",
       {"Home contents", "Example Insurance", "HC-5531907", "Contents and bicycles", "312.40",
        Day(2026, 4, 1), "True", "+1 555 0142", "https://www.insurance.example.com", "",
        "Bicycle theft is covered up to 1500.00."}},
      {"Personal\\Identities\\",
       "idbadge.ico",
       {"Passport", "X1234567", "Anna Maria Berg", Day(1990, 6, 15), Day(2021, 9, 1), Day(2031, 8, 31),
        "City of Exampleton", "", ""}},
      {"Personal\\Memberships\\",
       "heart.ico",
       {"City Sports Club", "M-20417", Day(2019, 1, 7), "240.00", "True", "https://www.sportsclub.example",
        "Sw1m&Run", "Swimming pool open 6:00 to 22:00."}},
      {"Personal\\Health\\",
       "health.ico",
       {"Health insurance card", "Example Health", "H-88123456", "Dr. Lena Hofmann", "+1 555 0177", "A+",
        "Allergic to penicillin.", Day(2026, 10, 12), "", ""}},
      {"Personal\\Travel & Loyalty\\",
       "plane.ico",
       {"Frequent flyer", "FF 7730 2291", "Silver", "48250", "https://miles.example.com", "annaberg",
        "Fl1ght-Path-77", "Silver status runs until the end of March."}},
      {"Computers & Networks\\",
       "laptop.ico",
       {"Work laptop", "laptop-anna", "aberg", "Lt9!xQ3#vN", "Disk encryption recovery key kept by IT."}},
      {"Computers & Networks\\Wi-Fi Networks\\",
       "wifi.ico",
       {"Home Wi-Fi", "correct-horse-battery-staple", "WPA2-Personal", "http://192.168.1.1", "R0uter!Admin",
        "Guest network: Home-Guest, password on the fridge."}},
      {"PINs & Codes\\", "home.ico", {"Garage door", "2580", "Keypad left of the garage door", ""}},
      {"PINs & Codes\\", "phone.ico", {"Mobile phone", "7391", "SIM PIN; PUK is 12345678", ""}},
      {"Notes\\",
       "note.ico",
       {"Welcome to Quillmar",
        "These entries are samples: change them or delete them.\r\n"
        "Each category is a template: a new entry gets the fields of its category.\r\n"
        "Right-click a category to add your own categories and fields.\r\n"
        "Keep a backup of your Safe somewhere other than this computer.",
        "True", kReminderId}},
  };
}

std::vector<TTemplateLockerFile> MakeLockerFiles() {
  return {
      {"Welcome to the File Locker.txt",
       "The File Locker keeps files inside your Safe, encrypted with your master password.\r\n"
       "\r\n"
       "- Drop files or folders here to lock them.\r\n"
       "- Double-click a file to open a temporary copy; changes are written back into the Safe.\r\n"
       "- Unlock a file to take it out of the Safe again.\r\n"
       "\r\n"
       "This file is a sample. Delete it whenever you like.\r\n"},
      {"Samples\\Packing list.txt", "Passport\r\nTickets\r\nCharger\r\nTravel adapter\r\nSunglasses\r\n"},
  };
}

void Check(bool condition, const std::string& message) {
  if (!condition) throw EQuillmarError(message);
}

void BuildNode(const TTemplateCategory& source, TqmCategory* parent, int32_t sortOrder,
               const TTemplateIconSource& icons, bool withEntries, TTemplateCategoryNode& node,
               std::vector<bool>& used) {
  node.Category = std::make_unique<TqmCategory>(parent);
  TqmCategory& category = *node.Category;
  category.SetName(source.Name);
  category.SetSortOrder(sortOrder);
  category.SetIcon(icons(source.Icon));
  for (size_t i = 0; i < source.Fields.size(); ++i) {
    const TTemplateField& f = source.Fields[i];
    category.Fields().Add(TqmField(static_cast<int32_t>(i), f.Name, f.Type, f.Required));
  }
  if (withEntries) {
    const auto& entries = TemplateEntries();
    int32_t order = 0;
    for (size_t e = 0; e < entries.size(); ++e) {
      if (entries[e].Category != category.NamePath()) continue;
      used[e] = true;
      const TTemplateEntry& t = entries[e];
      Check(static_cast<int>(t.Values.size()) == category.Fields().Count(),
            "Template entry \"" + (t.Values.empty() ? std::string() : t.Values[0]) + "\" has " +
                std::to_string(t.Values.size()) + " values for the " +
                std::to_string(category.Fields().Count()) + " fields of \"" + t.Category + "\".");
      auto entry = std::make_unique<TqmRepositoryEntry>(&category);
      entry->SetSortOrder(order++);
      entry->SetIcon(icons(t.Icon));
      entry->PrepareFromCategory(category);
      for (int i = 0; i < entry->Fields().Count(); ++i)
        entry->FieldAt(i).SetValue(t.Values[static_cast<size_t>(i)]);
      node.Entries.push_back(std::move(entry));
    }
  }
  node.Children.resize(source.Children.size());
  for (size_t i = 0; i < source.Children.size(); ++i)
    BuildNode(source.Children[i], &category, static_cast<int32_t>(i), icons, withEntries, node.Children[i],
              used);
}

}  // namespace

const std::vector<std::string>& TemplateCategoryIcons() {
  static const std::vector<std::string> icons = {
      "folder.ico", "globe.ico",     "browser.ico", "envelope.ico", "chat.ico",    "coins.ico", "card.ico",
      "bank.ico",   "shield.ico",    "disc.ico",    "person.ico",   "idbadge.ico", "star.ico",  "health.ico",
      "plane.ico",  "computer.ico",  "wifi.ico",    "server.ico",   "key.ico",     "note.ico",  "home.ico",
      "cart.ico",   "briefcase.ico", "book.ico",    "game.ico",     "heart.ico",
  };
  return icons;
}

const std::vector<std::string>& TemplateEntryIcons() {
  static const std::vector<std::string> icons = {
      "key.ico",       "padlock.ico", "globe.ico", "browser.ico",  "envelope.ico", "at.ico",
      "card.ico",      "bank.ico",    "coins.ico", "wallet.ico",   "home.ico",     "car.ico",
      "plane.ico",     "cart.ico",    "gift.ico",  "heart.ico",    "phone.ico",    "laptop.ico",
      "computer.ico",  "wifi.ico",    "cloud.ico", "server.ico",   "game.ico",     "music.ico",
      "camera.ico",    "person.ico",  "chat.ico",  "calendar.ico", "clock.ico",    "shield.ico",
      "briefcase.ico", "health.ico",  "book.ico",  "bolt.ico",     "pin.ico",      "gear.ico",
      "note.ico",      "disc.ico",    "star.ico",  "idbadge.ico",  "folder.ico",
  };
  return icons;
}

const std::vector<TTemplateCategory>& TemplateCategories() {
  static const std::vector<TTemplateCategory> categories = MakeCategories();
  return categories;
}

const std::vector<TTemplateEntry>& TemplateEntries() {
  static const std::vector<TTemplateEntry> entries = MakeEntries();
  return entries;
}

const std::vector<TTemplateLockerFile>& TemplateLockerFiles() {
  static const std::vector<TTemplateLockerFile> files = MakeLockerFiles();
  return files;
}

TqmReminderEvent TemplateReminder() {
  TqmReminderEvent r(EncodeDateTime({2025, 1, 1, 10, 0, 0, 0}));
  r.SetId(kReminderId);
  r.SetName("Back up your Safe");
  r.SetMessage(
      "Time to back up your Safe: open the Options tab and choose \"Backup current Safe\".\r\n"
      "Keep the backup on another disk or computer, so that a broken disk does not take your passwords with "
      "it.");
  r.SetType(TqmReminderEvent::kTypeRecurring);
  r.SetAction(TqmReminderEvent::kActionPopup);
  r.SetDays("1");  // on the first of every month at 10:00
  r.SetMonths("*");
  r.SetDaysofweek("*");
  r.SetUseenddate(false);
  r.SetStop(0);
  return r;
}

std::string TemplateSettingsText() {
  TqmSettings settings;
  settings.App.fs.SetValue(false);
  settings.App.autoStart.SetValue(false);
  return settings.GetText();
}

std::vector<TTemplateCategoryNode> BuildTemplateCategories(const TTemplateIconSource& icons,
                                                           bool withEntries) {
  const auto& categories = TemplateCategories();
  std::vector<TTemplateCategoryNode> nodes(categories.size());
  std::vector<bool> used(TemplateEntries().size(), false);
  for (size_t i = 0; i < categories.size(); ++i)
    BuildNode(categories[i], nullptr, static_cast<int32_t>(i), icons, withEntries, nodes[i], used);
  if (withEntries)
    for (size_t e = 0; e < used.size(); ++e)
      Check(used[e], "Template entry \"" + TemplateEntries()[e].Values.at(0) + "\" names the category \"" +
                         TemplateEntries()[e].Category + "\", which does not exist.");
  return nodes;
}

}  // namespace quillmar
