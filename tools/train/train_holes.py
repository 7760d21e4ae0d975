#!/usr/bin/python3
"""Trains the shot decision of the calibrated analysis and writes it as ONNX.

  /usr/bin/python3 tools/train/train_holes.py --out models/holes.onnx

(Debian 12: apt-get install python3-torch python3-onnx python3-opencv python3-numpy.)

Every example comes from tools/train/holegen.py on fixed seeds: generated pieces of shot paper at
the analysis's working scale, the proposals the program makes on them (the same rule as
src/shots/candidates.cpp), and two views of each proposal (2.5 and 5 hole diameters). The
network says whether a proposal is a shot and how far the shot's centre lies from it. No real
picture is read. The threshold is chosen on generated pieces of other seeds and written into
the model's file name's companion, models/holes.json.
"""
import argparse
import json
import math
import multiprocessing as mp
import os
import sys
import time

import numpy as np
import torch
import torch.nn as nn

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import holegen  # noqa: E402

D = holegen.WORK_D
POSITIVE = 0.4 * D    # a proposal this close to a true centre is that shot
NEGATIVE = 0.7 * D    # one at least this far from every true centre is not a shot


def _examples(seed, pieces, size=160):
    """Patches, labels (1 shot, 0 not, -1 neither), offsets to the nearest centre (in D)."""
    rng = np.random.default_rng(seed)
    X, Y, O = [], [], []
    for _ in range(pieces):
        img, holes, marks = holegen.piece(rng, size)
        hs = np.array(holes, np.float32).reshape(-1, 2)
        pts = []
        for x, y, _, _ in holegen.proposals(img):
            if len(hs) == 0 and rng.random() < 0.5:
                continue   # half the proposals of empty pieces are enough
            pts.append((x, y))
        for hx, hy in holes:   # views near every true shot, for the centre's offset
            if not (0 <= hx < size and 0 <= hy < size):
                continue
            for k in range(3):
                a = rng.uniform(0, 2 * math.pi)
                r = (rng.uniform(0, 0.45) if k < 2 else rng.uniform(0.45, 0.75)) * D
                pts.append((hx + r * math.cos(a), hy + r * math.sin(a)))
        for x, y in pts:
            if len(hs):
                d = np.hypot(hs[:, 0] - x, hs[:, 1] - y)
                j = int(np.argmin(d))
                dist, off = float(d[j]), ((hs[j, 0] - x) / D, (hs[j, 1] - y) / D)
            else:
                dist, off = 1e9, (0.0, 0.0)
            label = 1 if dist <= POSITIVE else (0 if dist >= NEGATIVE else -1)
            X.append(holegen.patch(img, float(x), float(y)))
            Y.append(label)
            O.append(off if dist < NEGATIVE else (0.0, 0.0))
    return np.stack(X), np.array(Y, np.int8), np.array(O, np.float32)


def examples(seed, pieces, workers):
    chunk = max(1, pieces // (workers * 8))
    jobs = [(seed * 100003 + i, min(chunk, pieces - i * chunk))
            for i in range((pieces + chunk - 1) // chunk)]
    with mp.Pool(workers) as pool:
        parts = pool.starmap(_examples, jobs)
    return tuple(np.concatenate([p[i] for p in parts]) for i in range(3))


class Net(nn.Module):
    """Four 3x3 convolutions (the first with a stride of 2, then two poolings), then a small
    dense layer: a shot's logit and the offset of its centre (x, y, in hole diameters)."""

    def __init__(self, width=(16, 32, 48, 64)):
        super().__init__()
        layers, c = [], 6
        for i, w in enumerate(width):
            layers += [nn.Conv2d(c, w, 3, stride=2 if i == 0 else 1, padding=1, bias=False),
                       nn.BatchNorm2d(w), nn.ReLU(inplace=True)]
            if i in (1, 2):
                layers.append(nn.MaxPool2d(2))
            c = w
        self.features = nn.Sequential(*layers)
        self.head = nn.Sequential(nn.Flatten(), nn.Linear(c * 5 * 5, 64), nn.ReLU(inplace=True),
                                  nn.Linear(64, 3))

    def forward(self, x):
        return self.head(self.features(x))


def from_onnx(model, path, X, sample=2048):
    """Weights from an exported model, whose batch normalisations the export folded into the
    convolutions: each normalisation is set so that, on a sample of the examples, the network
    in training mode computes what the exported one does (scale and shift of each channel's
    batch statistics undone), and training goes on from there."""
    import onnx
    from onnx import numpy_helper
    init = {i.name: numpy_helper.to_array(i) for i in onnx.load(path).graph.initializer}
    convs = [m for m in model.features if isinstance(m, nn.Conv2d)]
    norms = [m for m in model.features if isinstance(m, nn.BatchNorm2d)]
    folded = [init[n] for n in sorted((n for n in init if n.startswith("onnx::Conv_")),
                                      key=lambda n: int(n.split("_")[-1]))]
    with torch.no_grad():
        for i, (conv, bn) in enumerate(zip(convs, norms)):
            conv.weight.copy_(torch.from_numpy(folded[2 * i]))
            bn.running_mean.zero_()
            bn.running_var.fill_(1 - bn.eps)
            bn.weight.fill_(1)
            bn.bias.copy_(torch.from_numpy(folded[2 * i + 1]))
        for name in ("head.1.weight", "head.1.bias", "head.3.weight", "head.3.bias"):
            dict(model.named_parameters())[name].copy_(torch.from_numpy(init[name]))
        x = torch.from_numpy(holegen.normalise(X[:sample]))
        for conv, bn in zip(convs, norms):   # one layer at a time, in order
            seen = {}
            hook = conv.register_forward_hook(lambda m, a, out: seen.setdefault("y", out))
            model.eval()
            model(x)
            hook.remove()
            y = seen["y"]
            mean, std = y.mean((0, 2, 3)), (y.var((0, 2, 3)) + bn.eps).sqrt()
            bn.bias.copy_(bn.bias + mean)
            bn.weight.copy_(std)
            bn.running_mean.copy_(mean)
            bn.running_var.copy_(std * std - bn.eps)


def jitter(xb, gen, strength):
    """The same patches under another camera: each channel's gain moved by up to `strength`
    (a log-normal spread) and the colours made weaker or stronger around each pixel's grey,
    near and wide view alike. A hole's shape and darkness stay; the exact cast of a
    generated ink or fill no longer tells a shot from print."""
    n = len(xb)
    gain = np.exp(gen.normal(0, strength, (n, 3))).astype(np.float32)
    sat = gen.uniform(1 - 2 * strength, 1 + strength, (n, 1, 1, 1)).astype(np.float32)
    x = xb.astype(np.float32).reshape(n, 2, 3, *xb.shape[2:])
    x = x * gain[:, None, :, None, None]
    grey = x.mean(axis=2, keepdims=True)
    x = grey + (x - grey) * sat[:, None]
    return np.clip(x, 0, 255).reshape(xb.shape).astype(np.uint8)


def train(model, X, Y, O, epochs, batch, seed, log, lr=3e-3, colour_jitter=0.0):
    torch.manual_seed(seed)
    gen = np.random.default_rng(seed)
    opt = torch.optim.AdamW(model.parameters(), lr=lr, weight_decay=1e-4)
    steps = epochs * (len(X) // batch)
    sched = torch.optim.lr_scheduler.OneCycleLR(opt, max_lr=lr, total_steps=steps)
    bce = nn.BCEWithLogitsLoss(reduction="none")
    t0 = time.time()
    for ep in range(epochs):
        model.train()
        order = gen.permutation(len(X))
        tot = 0.0
        for b in range(len(X) // batch):
            idx = np.sort(order[b * batch:(b + 1) * batch])
            xb = X[idx]
            if gen.random() < 0.5:   # mirror: holes have no handedness
                xb = xb[:, :, :, ::-1]
                ob = O[idx] * np.array([-1, 1], np.float32)
            else:
                ob = O[idx]
            if colour_jitter > 0:
                xb = jitter(xb, gen, colour_jitter)
            x = torch.from_numpy(holegen.normalise(np.ascontiguousarray(xb)))
            y = torch.from_numpy(Y[idx].astype(np.float32))
            o = torch.from_numpy(ob)
            out = model(x)
            known = (y >= 0).float()
            lc = (bce(out[:, 0], y.clamp(min=0)) * known).sum() / known.sum().clamp(min=1)
            near = (o.abs().sum(1) > 0).float() + (y == 1).float()
            near = (near > 0).float()
            lo = (nn.functional.smooth_l1_loss(out[:, 1:], o, reduction="none", beta=0.05)
                  .sum(1) * near).sum() / near.sum().clamp(min=1)
            loss = lc + 4 * lo
            opt.zero_grad()
            loss.backward()
            opt.step()
            sched.step()
            tot += float(loss)
        log(f"epoch {ep + 1}/{epochs}: loss {tot / (len(X) // batch):.4f} ({time.time() - t0:.0f} s)")


def predict(model, patches, batch=1024, both_ways=False):
    """The network's answers; with both_ways, averaged with those of the mirror images (the
    program's second look, src/shots/decision.cpp)."""
    model.eval()
    outs = []
    with torch.no_grad():
        for i in range(0, len(patches), batch):
            b = patches[i:i + batch]
            out = model(torch.from_numpy(holegen.normalise(b))).numpy()
            if both_ways:
                m = model(torch.from_numpy(holegen.normalise(
                    np.ascontiguousarray(b[:, :, :, ::-1])))).numpy()
                out = np.stack([(out[:, 0] + m[:, 0]) / 2, (out[:, 1] - m[:, 1]) / 2,
                                (out[:, 2] + m[:, 2]) / 2], 1)
            outs.append(out)
    return np.concatenate(outs) if outs else np.zeros((0, 3), np.float32)


FIRST_PASS = 0.1   # a proposal judged below this is not looked at again


def judged(model, work):
    """The program's decision in Python: propose, judge, move to the centre the network
    points at, judge again there. Returns (points, probabilities) in working pixels."""
    props = holegen.proposals(work)
    if not props:
        return np.zeros((0, 2), np.float32), np.zeros(0, np.float32)
    pts = np.array([(x, y) for x, y, _, _ in props], np.float32)
    out = predict(model, np.stack([holegen.patch(work, float(x), float(y)) for x, y in pts]))
    p = 1 / (1 + np.exp(-out[:, 0]))
    keep = p >= FIRST_PASS
    pts = pts[keep] + out[keep, 1:] * D
    if len(pts) == 0:
        return np.zeros((0, 2), np.float32), np.zeros(0, np.float32)
    out = predict(model, np.stack([holegen.patch(work, float(x), float(y)) for x, y in pts]),
                  both_ways=True)
    # The mean of the two looks, as src/shots/shots.cpp takes it.
    return pts + out[:, 1:] * D, (p[keep] + 1 / (1 + np.exp(-out[:, 0]))) / 2


def decide(pts, p, threshold, merge=0.35 * D):
    """Shots at or above the threshold, the most certain of those closer than `merge`."""
    shots = []
    for i in np.argsort(-p):
        if p[i] < threshold:
            break
        if all(math.hypot(pts[i, 0] - x, pts[i, 1] - y) >= merge for x, y, _ in shots):
            shots.append((float(pts[i, 0]), float(pts[i, 1]), float(p[i])))
    return shots


def detect(model, work, threshold):
    return decide(*judged(model, work), threshold)


def score(shots, holes, size):
    """(true, found, matched, summed error in D) with the half-calibre one-to-one rule."""
    inside = [(x, y) for x, y in holes if 0 <= x < size and 0 <= y < size]
    pairs = sorted((math.hypot(sx - hx, sy - hy), i, j) for i, (sx, sy, _) in enumerate(shots)
                   for j, (hx, hy) in enumerate(holes) if math.hypot(sx - hx, sy - hy) <= 0.5 * D)
    used_s, used_h, err = set(), set(), 0.0
    for d, i, j in pairs:
        if i in used_s or j in used_h:
            continue
        used_s.add(i)
        used_h.add(j)
        err += d / D
    matched_inside = sum(1 for j in used_h if 0 <= holes[j][0] < size and 0 <= holes[j][1] < size)
    return len(inside), len(shots), matched_inside, len(used_s), err


def choose_threshold(model, seed, pieces, log, size=320):
    """The threshold of the best F1 on generated pieces of other seeds. The pieces are four
    times the training pieces' area with as many holes: a page has more print than shots."""
    rng = np.random.default_rng(seed)
    cases = []
    for _ in range(pieces):
        img, holes, _ = holegen.piece(rng, size)
        cases.append((judged(model, img), holes, img.shape[0]))
    best = None
    for t in (0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95, 0.98):
        T = F = M = MS = 0
        E = 0.0
        for (pts, p), holes, size in cases:
            t_, f_, m_, ms_, e_ = score(decide(pts, p, t), holes, size)
            T, F, M, MS, E = T + t_, F + f_, M + m_, MS + ms_, E + e_
        recall, precision = M / max(T, 1), MS / max(F, 1)
        f1 = 2 * recall * precision / max(recall + precision, 1e-9)
        log(f"threshold {t:.2f}: recall {recall:.3f} precision {precision:.3f} "
            f"centre error {E / max(MS, 1):.3f} D")
        if best is None or f1 > best[0]:
            best = (f1, t, recall, precision)
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--out", default="models/holes.onnx")
    ap.add_argument("--pieces", type=int, default=5000)
    ap.add_argument("--epochs", type=int, default=14)
    ap.add_argument("--batch", type=int, default=256)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--workers", type=int, default=2)
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--validation-pieces", type=int, default=300)
    ap.add_argument("--start", metavar="MODEL.pt|MODEL.onnx",
                    help="go on training from these weights (an exported .onnx too)")
    ap.add_argument("--lr", type=float, default=3e-3, help="the highest learning rate")
    ap.add_argument("--colour-jitter", type=float, default=0.0, metavar="S",
                    help="move each example's channel gains by up to S (log-normal) and its "
                         "colours' strength, so that no generated ink's exact cast decides")
    ap.add_argument("--rechoose", metavar="MODEL.pt",
                    help="only choose the threshold again for a trained model, and export it")
    args = ap.parse_args()
    torch.set_num_threads(args.threads)
    torch.manual_seed(args.seed)
    log = lambda s: print(s, flush=True)  # noqa: E731

    t0 = time.time()
    model = Net()
    if args.rechoose:
        model.load_state_dict(torch.load(args.rechoose))
    else:
        X, Y, O = examples(args.seed, args.pieces, args.workers)
        if args.start and args.start.endswith(".onnx"):
            from_onnx(model, args.start, X)
        elif args.start:
            model.load_state_dict(torch.load(args.start))
        log(f"{len(X)} examples ({(Y == 1).sum()} shots, {(Y == 0).sum()} not, "
            f"{(Y < 0).sum()} neither) from {args.pieces} pieces in {time.time() - t0:.0f} s")
        log(f"{sum(p.numel() for p in model.parameters())} parameters")
        train(model, X, Y, O, args.epochs, args.batch, args.seed, log, args.lr,
              args.colour_jitter)
        del X, Y, O
    f1, threshold, recall, precision = choose_threshold(model, args.seed + 7919,
                                                        args.validation_pieces, log)
    log(f"chosen threshold {threshold} (recall {recall:.3f}, precision {precision:.3f})")

    model.eval()
    dummy = torch.zeros(1, 6, holegen.PATCH, holegen.PATCH)
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    torch.onnx.export(model, dummy, args.out, opset_version=11, input_names=["patch"],
                      output_names=["decision"],
                      dynamic_axes={"patch": {0: "n"}, "decision": {0: "n"}})
    if not args.rechoose:
        torch.save(model.state_dict(), os.path.splitext(args.out)[0] + ".pt")
    meta = dict(threshold=threshold, working_diameter=D, patch=holegen.PATCH,
                context=holegen.CONTEXT, validation=dict(recall=recall, precision=precision),
                command="/usr/bin/python3 tools/train/train_holes.py " + " ".join(sys.argv[1:]))
    with open(os.path.splitext(args.out)[0] + ".json", "w") as f:
        json.dump(meta, f, indent=2)
    log(f"wrote {args.out} in {time.time() - t0:.0f} s")


if __name__ == "__main__":
    main()
