#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/vq_logoutput.h"
#include "engine/base/vq_refcount.h"
#include "engine/pyramid/vq_zoomoutput.h"

namespace {

// Records the order of the final-release hook and the destructor.
struct Probe : vq_refcount {
    explicit Probe(std::vector<std::string>* events) : events(events) {}
    ~Probe() override { events->push_back("destroyed"); }
    void onFinalRelease() override { events->push_back("final"); }
    static Probe* create(std::vector<std::string>* events) {
        Probe* p = new Probe(events);
        p->addRef();
        return p;
    }
    std::vector<std::string>* events;
};

TEST(RefCount, AdoptedFactoryResultIsDestroyedOnceAfterTheHook) {
    std::vector<std::string> events;
    {
        vq_ptr<Probe> p = vq_ptr<Probe>::adopt(Probe::create(&events));
        EXPECT_EQ(p->refCount(), 1);
        vq_ptr<Probe> q = p;
        EXPECT_EQ(p->refCount(), 2);
        q.reset();
        EXPECT_TRUE(events.empty());
    }
    EXPECT_EQ(events, (std::vector<std::string>{"final", "destroyed"}));
}

TEST(RefCount, OutParameterAdoptsWithoutExtraReference) {
    std::vector<std::string> events;
    vq_ptr<Probe> p;
    *p.put() = Probe::create(&events);
    EXPECT_EQ(p->refCount(), 1);
    // put() on a full pointer releases the old object first.
    *p.put() = Probe::create(&events);
    EXPECT_EQ(events, (std::vector<std::string>{"final", "destroyed"}));
}

TEST(RefCount, SelfAssignmentKeepsTheOnlyReference) {
    std::vector<std::string> events;
    vq_ptr<Probe> p = vq_ptr<Probe>::adopt(Probe::create(&events));
    Probe* raw = p.get();
    vq_ptr<Probe>& alias = p;
    p = alias;
    EXPECT_EQ(p.get(), raw);
    EXPECT_EQ(raw->refCount(), 1);
    EXPECT_TRUE(events.empty());
}

// Assignment takes the new reference first, so an object that is only kept
// alive by a pointer stored inside the object being released survives.
struct Node : vq_refcount {
    vq_ptr<Node> next;
    int* destroyed;
    explicit Node(int* d) : destroyed(d) {}
    ~Node() override { ++*destroyed; }
};

TEST(RefCount, AssigningFromAPointerInsideTheReleasedObject) {
    int destroyed = 0;
    vq_ptr<Node> head(new Node(&destroyed));
    head->next = vq_ptr<Node>(new Node(&destroyed));
    Node* second = head->next.get();
    head = head->next;
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(head.get(), second);
    EXPECT_EQ(second->refCount(), 1);
}

TEST(RefCount, AssigningEmptyDestroysAndNullComparison) {
    std::vector<std::string> events;
    vq_ptr<Probe> p = vq_ptr<Probe>::adopt(Probe::create(&events));
    EXPECT_FALSE(p == nullptr);
    p = vq_ptr<Probe>();
    EXPECT_EQ(events.size(), 2u);
    EXPECT_TRUE(p == nullptr);
    EXPECT_EQ(p.get(), nullptr);
}

// An object implementing both engine interfaces shares one count.
struct DualSink : vq_logoutput_base, vq_zoomoutput_base {
    explicit DualSink(int* d) : destroyed(d) {}
    ~DualSink() override { ++*destroyed; }
    void setLogLevel(int32_t) override {}
    void log(int32_t, const char*) override {}
    void setProgress(int32_t) override {}
    void stepProgress(int32_t, int32_t) override {}
    int32_t getProgress() override { return 0; }
    bool saveTile(vq_zoom_tile_base*) override { return true; }
    bool finish() override { return true; }
    void abort() override {}
    void setQuality(int32_t, vq_raw_tile*) override {}
    void setAuxValue(int32_t) override {}
    void setBaseLayer(vq_zoom_layer*) override {}
    bool setOutputPath(const std::string&, const std::string&) override { return true; }
    bool saveRawTile(vq_zoom_tile_base*, vq_raw_tile*) override { return true; }
    void setThreadedSave(bool) override {}
    bool acceptsRawTiles() override { return false; }
    bool acceptsYCbCrTiles() override { return false; }
    void setCompression(int32_t) override {}
    void setSubsampling(int32_t) override {}
    bool hasFailed() override { return false; }
    void addError(const std::string&) override {}
    void setImageDescription(const std::string&) override {}
    std::string getErrors() override { return {}; }
    int32_t getOutputOption() override { return 0; }
    int32_t getColourSpace() override { return 3; }
    void setColourSpace(int32_t) override {}
    int* destroyed;
};

TEST(RefCount, DualInterfaceObjectHasOneCount) {
    for (bool logFirst : {true, false}) {
        SCOPED_TRACE(logFirst ? "log pointer released first" : "output pointer released first");
        int destroyed = 0;
        DualSink* sink = new DualSink(&destroyed);
        vq_ptr<vq_logoutput_base> log(sink);
        vq_ptr<vq_zoomoutput_base> out(sink);
        EXPECT_EQ(sink->refCount(), 2);
        if (logFirst) log.reset(); else out.reset();
        EXPECT_EQ(destroyed, 0);
        EXPECT_EQ(sink->refCount(), 1);
        if (logFirst) out.reset(); else log.reset();
        EXPECT_EQ(destroyed, 1);
    }
}

TEST(ZoomOutput, ScanInfoDefaultsAndSetter) {
    int destroyed = 0;
    vq_ptr<vq_zoomoutput_base> out(new DualSink(&destroyed));
    EXPECT_EQ(out->getMagnification(), 20.0);
    EXPECT_EQ(out->getMicronsPerPixel(), 0.5);
    EXPECT_FALSE(out->getJ2KFullChroma());
    out->setScanInfo(40.0, 0.25);
    out->setJ2KFullChroma(true);
    EXPECT_EQ(out->getMagnification(), 40.0);
    EXPECT_EQ(out->getMicronsPerPixel(), 0.25);
    EXPECT_TRUE(out->getJ2KFullChroma());
}

} // namespace
