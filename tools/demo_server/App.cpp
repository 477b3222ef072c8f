#include "App.h"

#include <limits>

#include "Accounts.h"
#include "ReportPdf.h"

namespace vxt::demo {

namespace {

constexpr const char* kProgram = "demo_report_server";

bool ParseNumber(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= low && value <= high;
}

std::string AccountList() {
  std::string list;
  for (const Account& account : DemoAccounts()) {
    if (!list.empty()) list += ", ";
    list += "customer " + account.customer + " PIN " + account.pin;
  }
  return list;
}

}  // namespace

std::string UsageText() {
  return std::string("Usage: ") + kProgram +
         " [--address A] [--port P] [--read-timeout MS] [--max-connections N]\n"
         "A demo report server for the VXTVannikorde client (" +
         kProductName +
         "). It answers\n"
         "\"IZVJ <customer> <dd-mm-yyyy> <dd-mm-yyyy> <pin> \" with a PDF report and \"ALIVR\" "
         "with a status line.\n"
         "  --address A          IPv4 address to listen on (default 127.0.0.1; 0.0.0.0 for all)\n"
         "  --port P             TCP port (default 8026; 0 picks a free port and prints it)\n"
         "  --read-timeout MS    time allowed for the request line (default 10000)\n"
         "  --max-connections N  connections served at once (default 64)\n"
         "  --help               this text\n"
         "Demo accounts: " +
         AccountList() + ".\nCtrl-C stops the server.\n";
}

bool ParseOptions(const std::vector<std::string>& args, ServerOptions& options, bool& show_help,
                  std::string& error) {
  show_help = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool has_value = false;
    if (const std::size_t eq = name.find('=');
        name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      has_value = true;
    }
    if (name == "--help" || name == "-h") {
      show_help = true;
      continue;
    }
    if (name != "--address" && name != "--port" && name != "--read-timeout" &&
        name != "--max-connections") {
      error = "unknown option \"" + args[i] + "\" (see --help)";
      return false;
    }
    if (!has_value) {
      if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    long long number = 0;
    if (name == "--address") {
      options.address = value;
    } else if (name == "--port") {
      if (!ParseNumber(value, 0, 65535, number)) {
        error = "bad port \"" + value + "\": give a number from 0 to 65535";
        return false;
      }
      options.port = static_cast<std::uint16_t>(number);
    } else if (name == "--read-timeout") {
      if (!ParseNumber(value, 1, 3600000, number)) {
        error = "bad read timeout \"" + value + "\": give milliseconds from 1 to 3600000";
        return false;
      }
      options.read_timeout_ms = static_cast<int>(number);
    } else {
      if (!ParseNumber(value, 1, 1000, number)) {
        error = "bad connection limit \"" + value + "\": give a number from 1 to 1000";
        return false;
      }
      options.max_connections = static_cast<int>(number);
    }
  }
  return true;
}

int RunDemoServer(const std::vector<std::string>& args, const LineOutput& out,
                  const LineOutput& err, const std::atomic<bool>& stop) {
  ServerOptions options;
  bool show_help = false;
  std::string error;
  if (!ParseOptions(args, options, show_help, error)) {
    err(std::string(kProgram) + ": " + error);
    return 1;
  }
  if (show_help) {
    out(UsageText());
    return 0;
  }
  if (!net::StartLibrary()) {
    err(std::string(kProgram) + ": the socket library could not be started");
    return 1;
  }
  DemoServer server(options, out);
  if (!server.Listen(error)) {
    err(std::string(kProgram) + ": " + error);
    return 1;
  }
  out(std::string(kProgram) + ": listening on " + options.address + ":" +
      std::to_string(server.Port()) + " (" + AccountList() + "; Ctrl-C stops)");
  server.Run(&stop);
  out(std::string(kProgram) + ": stopped");
  return 0;
}

}  // namespace vxt::demo
