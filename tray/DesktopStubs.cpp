#include "TrayPorts.h"

// Stand-ins until the popup window and the mixer exist.
namespace hv {
namespace {
class NoPopup : public PopupPort {
public:
    void showAlerts(const QString&, QWidget*) override { m_open = true; }
    void closePopup() override { m_open = false; }
    bool isOpen() const override { return m_open; }

private:
    bool m_open = false;
};
class NoRing : public RingPort {
public:
    void ring() override {}
};
} // namespace
std::unique_ptr<PopupPort> makeDesktopPopup() { return std::make_unique<NoPopup>(); }
std::unique_ptr<RingPort> makeDesktopRing(MessagePort&) { return std::make_unique<NoRing>(); }
} // namespace hv
