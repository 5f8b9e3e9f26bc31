#include "g_wiz_svc.hpp"

#include <atomic>

namespace {

std::atomic<wizard_services*> current_services{nullptr};

} // namespace

wizard_services* wizard_services::current()
{
    return current_services.load();
}

void wizard_services::set_current(wizard_services* services)
{
    current_services.store(services);
}
