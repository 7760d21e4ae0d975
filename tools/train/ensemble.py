#!/usr/bin/python3
"""Joins decision networks trained apart into one ONNX model that answers with their mean.

  /usr/bin/python3 tools/train/ensemble.py A.onnx B.onnx [...] --out models/holes.onnx

Networks taught on the same generated pieces by different runs (other seeds, another mix of
looks, another length of training) err on different real pictures; the mean of their logits and
offsets errs less than either. Each member keeps its own weights under a prefix of its own; the
joined model has the members' input ("patch", N x 6 x 40 x 40) and output ("decision", N x 3),
so the program runs it as it runs one network. No retraining: the members are used as exported
by tools/train/train_holes.py.
"""
import argparse

import onnx
from onnx import compose, helper


def join(paths):
    members = [compose.add_prefix(onnx.load(p), f"m{i}_") for i, p in enumerate(paths)]
    first = members[0]
    feed = [helper.make_node("Identity", ["patch"], [f"m{i}_patch"]) for i in range(len(paths))]
    body = [node for m in members for node in m.graph.node]
    total = "m0_decision"
    tail = []
    for i in range(1, len(paths)):
        tail.append(helper.make_node("Add", [total, f"m{i}_decision"], [f"sum{i}"]))
        total = f"sum{i}"
    tail.append(helper.make_node("Mul", [total, "share"], ["decision"]))
    graph = helper.make_graph(
        feed + body + tail, f"mean of {len(paths)} networks",
        [helper.make_tensor_value_info("patch", onnx.TensorProto.FLOAT, ["n", 6, 40, 40])],
        [helper.make_tensor_value_info("decision", onnx.TensorProto.FLOAT, ["n", 3])],
        [init for m in members for init in m.graph.initializer] +
        [helper.make_tensor("share", onnx.TensorProto.FLOAT, [], [1.0 / len(paths)])])
    model = helper.make_model(graph, opset_imports=first.opset_import)
    model.ir_version = first.ir_version
    onnx.checker.check_model(model)
    return model


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("members", nargs="+", help="decision networks exported by train_holes.py")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    if len(args.members) < 2:
        ap.error("give two networks or more")
    onnx.save(join(args.members), args.out)
    print(f"wrote {args.out}: the mean of {len(args.members)} networks")


if __name__ == "__main__":
    main()
