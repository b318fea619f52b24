#include <gtest/gtest.h>

#include "config/Deployment.h"
#include "config/UpdateAddress.h"

TEST(UpdateAddress, PathAndQueryFollowTheHostWithOneSlash) {
    EXPECT_EQ(UpdatePageAddress("https://host.example/"),
              "https://host.example/pages/c_kelvane.php?lang=ENG&progvers=2.200");
    EXPECT_EQ(UpdatePageAddress("https://host.example"),
              "https://host.example/pages/c_kelvane.php?lang=ENG&progvers=2.200");
    EXPECT_EQ(UpdatePageAddress("https://host.example//"),
              "https://host.example/pages/c_kelvane.php?lang=ENG&progvers=2.200");
}

TEST(UpdateAddress, DeployedAddressUsesTheDeployedHostAndTheUpdateVersion) {
    const std::string address = UpdatePageAddress();
    EXPECT_EQ(address.rfind(std::string(kKelvaneWebHost), 0), 0u) << address;
    EXPECT_NE(address.find("?lang=ENG&progvers=2.200"), std::string::npos) << address;
    // The query names the release line, not the version of the about box.
    EXPECT_EQ(address.find("2.211"), std::string::npos) << address;
}
