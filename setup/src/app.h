// The installer's application object.
//
// WApp is the abstract base; Install is the one application this program has.
// Exactly one instance lives per process, from the program entry's start to
// its return; the constructor records it as the current application, through
// which the dialogs fetch their caption.
#ifndef ZARNSETUP_APP_H
#define ZARNSETUP_APP_H

#include "platform.h"

namespace zarnsetup {

class WApp {
public:
  explicit WApp(InstanceHandle instance);
  WApp(const WApp&) = delete;
  WApp& operator=(const WApp&) = delete;

  // Declared before the destructor so that they keep the first virtual slots,
  // in this order.
  virtual const char* CompanyName() const = 0;
  virtual const char* WebAddress() const = 0;
  virtual const char* ProductName() const = 0;
  virtual const char* VersionText() const = 0;
  virtual const char* MajorVersion() const = 0;
  virtual const char* Caption() const = 0;
  virtual const char* DisplayName() const;
  virtual const char* BuildCode() const = 0;

  virtual ~WApp();

  // The application of this process, or nullptr outside the program entry.
  static WApp* Current();
  InstanceHandle Instance() const { return instance_; }

private:
  InstanceHandle instance_;
};

class Install final : public WApp {
public:
  using WApp::WApp;

  const char* CompanyName() const override;
  const char* WebAddress() const override;
  const char* ProductName() const override;
  const char* VersionText() const override;
  const char* MajorVersion() const override;
  const char* Caption() const override;
  const char* BuildCode() const override;
};

} // namespace zarnsetup

#endif
