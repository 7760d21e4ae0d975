#!/usr/bin/python3
"""Trains the first look of the calibrated analysis: a network a tenth the cost of the decision
that screens every proposal, so that the decision judges only those that could be a shot.

  /usr/bin/python3 tools/train/train_screen.py --out models/screen.onnx

(Debian 12: the packages of train_holes.py.)

It sees what the decision sees (the same two views, normalised the same way), is taught on the
same generated pieces (tools/train/holegen.py, fixed seeds, no real picture) whether a proposal
lies on a shot, with the shots weighted so that it misses as few as it can, and is given the
threshold that keeps a set share of the proposals on shots of generated pieces of other seeds
(--keep, 0.995 by default). The share of the other proposals it sets aside there is what it
saves. The threshold goes into models/screen.json.

With --teacher (the decision, models/holes.onnx), it is taught the decision's own first look
instead: whether the decision would judge the proposal likely enough to look at it again
(--floor, the analysis's second-look floor), and the threshold keeps that share of those. A
proposal the decision would set aside anyway needs no screen to pass it, so the screen can set
aside far more of the others without changing the shots found.
"""
import argparse
import json
import os
import sys
import time

import numpy as np
import torch
import torch.nn as nn

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import holegen  # noqa: E402
import train_holes  # noqa: E402


class Screen(nn.Module):
    """Three 3x3 convolutions with a stride of 2 (40 -> 20 -> 10 -> 5), then a tiny dense
    layer: whether the proposal could be a shot (a logit)."""

    def __init__(self, width=(8, 16, 16)):
        super().__init__()
        layers, c = [], 6
        for w in width:
            layers += [nn.Conv2d(c, w, 3, stride=2, padding=1, bias=False), nn.BatchNorm2d(w),
                       nn.ReLU(inplace=True)]
            c = w
        self.features = nn.Sequential(*layers)
        self.head = nn.Sequential(nn.Flatten(), nn.Linear(c * 5 * 5, 16), nn.ReLU(inplace=True),
                                  nn.Linear(16, 1))

    def forward(self, x):
        return self.head(self.features(x))


def train(model, X, Y, epochs, batch, seed, log, lr, shot_weight):
    torch.manual_seed(seed)
    gen = np.random.default_rng(seed)
    known = np.nonzero(Y >= 0)[0]
    opt = torch.optim.AdamW(model.parameters(), lr=lr, weight_decay=1e-4)
    steps = epochs * (len(known) // batch)
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=lr, total_steps=steps)
    bce = nn.BCEWithLogitsLoss(pos_weight=torch.tensor(shot_weight))
    t0 = time.time()
    for ep in range(epochs):
        model.train()
        order = known[gen.permutation(len(known))]
        tot = 0.0
        for b in range(len(known) // batch):
            idx = np.sort(order[b * batch:(b + 1) * batch])
            xb = X[idx]
            if gen.random() < 0.5:
                xb = xb[:, :, :, ::-1]
            x = torch.from_numpy(holegen.normalise(np.ascontiguousarray(xb)))
            y = torch.from_numpy(Y[idx].astype(np.float32))
            loss = bce(model(x)[:, 0], y)
            opt.zero_grad()
            loss.backward()
            opt.step()
            sched.step()
            tot += float(loss)
        log(f"epoch {ep + 1}/{epochs}: loss {tot / (len(known) // batch):.4f} "
            f"({time.time() - t0:.0f} s)")


def teacher_says(teacher, X, floor, batch=256):
    """1 where the decision (an OpenCV network, as the program runs it) judges the view at
    least `floor` likely to be a shot at a first look, else 0."""
    out = np.empty(len(X), np.int8)
    for i in range(0, len(X), batch):
        teacher.setInput(holegen.normalise(X[i:i + batch]))
        logit = teacher.forward()[:, 0]
        out[i:i + batch] = (1 / (1 + np.exp(-logit)) >= floor).astype(np.int8)
    return out


def proposals_judged(model, seed, pieces, teacher=None, floor=0.0):
    """Each proposal of generated pieces: the screen's probability, and whether it lies on a
    shot (1), off every shot (0) or in between (-1); with a teacher, whether the decision
    would look at it again (1) or not (0)."""
    rng = np.random.default_rng(seed)
    P, L = [], []
    model.eval()
    for _ in range(pieces):
        img, holes, _ = holegen.piece(rng, 160)
        props = holegen.proposals(img)
        if not props:
            continue
        hs = np.array(holes, np.float32).reshape(-1, 2)
        patches = np.stack([holegen.patch(img, float(x), float(y)) for x, y, _, _ in props])
        with torch.no_grad():
            logit = model(torch.from_numpy(holegen.normalise(patches)))[:, 0].numpy()
        P.append(1 / (1 + np.exp(-logit)))
        if teacher is not None:
            L.extend(teacher_says(teacher, patches, floor))
            continue
        for x, y, _, _ in props:
            d = np.hypot(hs[:, 0] - x, hs[:, 1] - y).min() if len(hs) else 1e9
            L.append(1 if d <= train_holes.POSITIVE else (0 if d >= train_holes.NEGATIVE else -1))
    return np.concatenate(P), np.array(L)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", default="models/screen.onnx")
    ap.add_argument("--pieces", type=int, default=3000)
    ap.add_argument("--epochs", type=int, default=4)
    ap.add_argument("--batch", type=int, default=256)
    ap.add_argument("--seed", type=int, default=21)
    ap.add_argument("--workers", type=int, default=2)
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--lr", type=float, default=3e-3)
    ap.add_argument("--shot-weight", type=float, default=4.0,
                    help="how much more a missed shot costs than a proposal kept for nothing")
    ap.add_argument("--keep", type=float, default=0.995,
                    help="the share of proposals on shots (with --teacher: of those the "
                         "decision looks at again) that must pass")
    ap.add_argument("--validation-pieces", type=int, default=1000)
    ap.add_argument("--teacher", metavar="MODEL.onnx",
                    help="teach the decision's first look (its ONNX model) instead of the truth")
    ap.add_argument("--floor", type=float,
                    help="with --teacher: the decision's probability a view must reach to pass "
                         "(default: the analysis's second-look floor, twice the threshold in the "
                         "teacher's .json less one, at least 0.1)")
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    torch.manual_seed(args.seed)
    log = lambda s: print(s, flush=True)  # noqa: E731

    t0 = time.time()
    X, Y, _ = train_holes.examples(args.seed, args.pieces, args.workers)
    log(f"{len(X)} examples ({(Y == 1).sum()} shots, {(Y == 0).sum()} not) in "
        f"{time.time() - t0:.0f} s")
    teacher = None
    if args.teacher:
        import cv2
        teacher = cv2.dnn.readNetFromONNX(args.teacher)
        if args.floor is None:   # as the analysis takes it (shots.cpp, SecondLookFloor)
            with open(os.path.splitext(args.teacher)[0] + ".json") as f:
                args.floor = max(0.1, 2 * json.load(f)["threshold"] - 1)
        log(f"the decision's second-look floor: {args.floor:.3f}")
        Y = teacher_says(teacher, X, args.floor)
        log(f"the decision looks again at {Y.sum()} of {len(Y)} ({time.time() - t0:.0f} s)")
    model = Screen()
    log(f"{sum(p.numel() for p in model.parameters())} parameters")
    train(model, X, Y, args.epochs, args.batch, args.seed, log, args.lr, args.shot_weight)
    del X, Y

    p, label = proposals_judged(model, args.seed + 7919, args.validation_pieces, teacher,
                                args.floor)
    on_shots = np.sort(p[label == 1])
    threshold = float(on_shots[int((1 - args.keep) * len(on_shots))]) if len(on_shots) else 0.0
    threshold = max(0.0, threshold - 1e-6)
    set_aside = float((p[label == 0] < threshold).mean())
    passing = "proposals the decision looks at again" if teacher else "proposals on shots"
    log(f"threshold {threshold:.4f}: {(on_shots >= threshold).mean():.4f} of {len(on_shots)} "
        f"{passing} kept, {set_aside:.3f} of {(label == 0).sum()} others set aside")

    model.eval()
    dummy = torch.zeros(1, 6, holegen.PATCH, holegen.PATCH)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    torch.onnx.export(model, dummy, args.out, opset_version=11, input_names=["patch"],
                      output_names=["screen"],
                      dynamic_axes={"patch": {0: "n"}, "screen": {0: "n"}})
    counted = "proposals_looked_at_again" if teacher else "proposals_on_shots"
    meta = dict(threshold=threshold, validation={"kept": args.keep, "set_aside": set_aside,
                                                 counted: int(len(on_shots))},
                command="/usr/bin/python3 tools/train/train_screen.py " + " ".join(sys.argv[1:]))
    with open(os.path.splitext(args.out)[0] + ".json", "w") as f:
        json.dump(meta, f, indent=2)
    log(f"wrote {args.out} in {time.time() - t0:.0f} s")


if __name__ == "__main__":
    main()
