#include "config/UpdateAddress.h"

#include "config/Deployment.h"

std::string UpdatePageAddress(std::string_view host) {
    std::string address(host);
    while (!address.empty() && address.back() == '/') address.pop_back();
    address += '/';
    address += kUpdatePagePath;
    address += '?';
    address += kUpdateQuery;
    return address;
}

std::string UpdatePageAddress() {
    return UpdatePageAddress(kKelvaneWebHost);
}
