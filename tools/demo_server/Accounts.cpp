#include "Accounts.h"

namespace vxt::demo {

std::span<const Account> DemoAccounts() {
  // The third name carries the characters that PDF strings must escape, so every report for it
  // exercises the writer's escaping.
  static const Account kAccounts[] = {
      {"2", "1", "Petar Petrovic", "Lipova 12, 71000 Tarnwell", "V-0002-118", MeterKind::kWater},
      {"17", "4321", "Ana Kovac", "Obala 5, 71000 Tarnwell", "E-0017-903", MeterKind::kPower},
      {"305", "2468", "Pekara \"Klas\" (pogon 2) \\ Sjever", "Industrijska 40, 71210 Tarnwell",
       "V-0305-044", MeterKind::kWater},
  };
  return kAccounts;
}

const Account* FindAccount(std::string_view customer) {
  for (const Account& account : DemoAccounts()) {
    if (account.customer == customer) return &account;
  }
  return nullptr;
}

}  // namespace vxt::demo
