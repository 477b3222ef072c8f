// The demo server's customers: who may ask for a report with which PIN, and what meter the
// report describes.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vxt::demo {

enum class MeterKind { kWater, kPower };

struct Account {
  std::string customer;  // the request's second field, compared byte for byte
  std::string pin;
  std::string name;
  std::string address;
  std::string meter_id;
  MeterKind meter = MeterKind::kWater;
};

// The built-in accounts. The first is customer "2" with PIN "1", which the client's window
// offers by default.
std::span<const Account> DemoAccounts();
// nullptr for a customer that has no account.
const Account* FindAccount(std::string_view customer);

}  // namespace vxt::demo
