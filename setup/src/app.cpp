#include "app.h"

namespace zarnsetup {
namespace {
WApp* current_application = nullptr;
} // namespace

WApp::WApp(InstanceHandle instance) : instance_(instance) { current_application = this; }

WApp::~WApp() {
  if (current_application == this) current_application = nullptr;
}

WApp* WApp::Current() { return current_application; }

const char* WApp::DisplayName() const { return ProductName(); }

const char* Install::CompanyName() const { return "Quorvane, Inc."; }
const char* Install::WebAddress() const { return "www.quorvane.example/"; }
const char* Install::ProductName() const { return "Zarnik for TradeStation Installer"; }
const char* Install::VersionText() const { return "1.0"; }
const char* Install::MajorVersion() const { return "1"; }
const char* Install::Caption() const { return "Zarnik for TradeStation Installer 1.0"; }
const char* Install::BuildCode() const { return "000107"; }

} // namespace zarnsetup
