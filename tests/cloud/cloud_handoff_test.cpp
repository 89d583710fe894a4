// A card in cloud mode: after a read the main loop uploads instead of opening the data
// window, asking the card for its version once connected.

#include "app/main_commands.h"
#include "cloud/fake_cloud_server.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/operation_engine.h"
#include "simcard/simulated_card.h"
#include "support/link_fixture.h"

class CloudHandoff : public LinkTest {
  protected:
    void TearDown() override {
        ResetCardSession();
        card.reset();
        config_values.modo_nuvem = false;
        LinkTest::TearDown();
    }
    std::unique_ptr<SimulatedCard> card;
};

TEST_F(CloudHandoff, AReadOfACloudCardIsUploadedWithItsFreshVersion) {
    LoopbackCollectionServer loopback;
    SimulatedCardOptions options;
    options.readings = 300;
    options.registration_dir = registrations;
    card = std::make_unique<SimulatedCard>(options);
    std::string why;
    ASSERT_TRUE(card->Start(&why)) << why;
    MemoryImage memory = card->Memory();
    memory[OFF_CLOUD] = 1;
    card->SetMemory(memory);
    StartTimerThread();
    StartOperationThread();
    ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() == 103; }, 5000));
    CommandRead();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE && new_data; }, 10000));

    // The main loop uploads (to a server on a free port, never the built-in one), asking the
    // card for its version again, and opens no data window.
    SetHandOffCloudServer(loopback.Address());
    const int version_queries = card->RequestsSeen("VR");
    CheckOperationResults();
    SetHandOffCloudServer(BuiltInCloudServer());
    EXPECT_FALSE(new_data);
    EXPECT_TRUE(windows.opened_windows.empty());
    EXPECT_EQ(card->RequestsSeen("VR"), version_queries + 1);
    EXPECT_EQ(windows.Messages().back().text, MSG_UPLOAD_SUCCESS);
    const std::vector<StoredUpload> uploads = loopback.store->List();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].firmware, "1.0.3");
    EXPECT_EQ(loopback.store->Readings(uploads[0].id).size(), 300u);
}
