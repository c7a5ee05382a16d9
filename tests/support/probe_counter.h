// A carver for tests that counts the probes of another and the bytes they
// ask of the input; with `rulesOut` false it rules nothing out, so that
// every candidate of its lane is probed.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "carve/engine/carver.h"
#include "carve/engine/input_view.h"

class ProbeCounter : public Carver {
 public:
  explicit ProbeCounter(std::unique_ptr<Carver> inner, bool rulesOut = true)
      : inner_(std::move(inner)), rulesOut_(rulesOut) {}
  int64_t probes = 0, asked = 0;
  Trigger trigger() const override { return inner_->trigger(); }
  std::vector<Trigger> triggers() const override { return inner_->triggers(); }
  bool progressPerProbe() const override { return inner_->progressPerProbe(); }
  Probed probe(InputView& input, const Candidate& candidate) override {
    ++probes;
    const int64_t before = input.asked();
    Probed probed = inner_->probe(input, candidate);
    asked += input.asked() - before;
    return probed;
  }
  bool ruledOut(const uint8_t* bytes, int64_t avail) override {
    return rulesOut_ && inner_->ruledOut(bytes, avail);
  }

 private:
  std::unique_ptr<Carver> inner_;
  bool rulesOut_;
};
