#!/usr/bin/env python3
# Tries again the faults a run of ../shared/tools/mutants.py left alive, on a
# tree whose product code is the run's and whose tests were only added to:
# the same seed picks the same faults in the same order, each applied,
# built and tested as mutants.py does; those the run caught are taken from
# its log, since added tests catch no less.
#   tools/mutants-again.py REPO BUILD_DIR RUN_LOG OUT [SEED]
import os, random, re, sys, time
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'shared', 'tools'))
import mutants as M
repo, build, logf, out = sys.argv[1:5]
seed = int(sys.argv[5]) if len(sys.argv) > 5 else 28
entries = []
for l in open(logf):
    m = re.match(r'^(killed|SURVIVED)\s+(\S+):(\d+) (\w+): ', l)
    if m: entries.append((m.group(2), int(m.group(3)), m.group(4), m.group(1) == 'killed', l.rstrip()))
rnd = random.Random(seed)
folders = sorted(d for d in os.listdir(repo) if os.path.isfile(os.path.join(repo, d, 'CMakeLists.txt'))
                 and d not in ('tests', 'fuzz', 'bench', 'tools', 'sim', 'resources', 'packaging'))
cands = M.candidates(repo, folders); rnd.shuffle(cands)
env_ctest = "QT_QPA_PLATFORM=offscreen ctest -j2 --timeout 120 --stop-on-failure -E 'layering' >/dev/null 2>&1"
ptr = 0; killed = 0
o = open(out, 'w')
for path, i, op, s, e in cands:
    if ptr >= len(entries): break
    rel = os.path.relpath(path, repo)
    if (rel, i + 1, op) != entries[ptr][:3]:
        continue
    rel_, line_, op_, was_killed, text_ = entries[ptr]; ptr += 1
    if was_killed:
        killed += 1
        msg = 'killed   ' + text_.split(None, 1)[1] + ' [as in the run after]'
    else:
        with open(path, encoding='utf-8') as f: text = f.read()
        lines = text.split('\n'); orig = lines[i]; lines[i] = M.mutate(orig, op, s, e)
        with open(path, 'w', encoding='utf-8') as f: f.write('\n'.join(lines))
        try:
            rc, _ = M.run('cmake --build . -j2 >/dev/null 2>&1', build, 900)
            t0 = time.time()
            if rc != 0:
                msg = 'STILLBORN ' + rel + ':' + str(i + 1)
            else:
                rc, _ = M.run(env_ctest, build, 1500)
                killed += rc != 0
                msg = f"{'killed' if rc else 'SURVIVED':8} {rel}:{i+1} {op}: {orig.strip()[:90]}  ({time.time()-t0:.0f}s)"
        finally:
            with open(path, 'w', encoding='utf-8') as f: f.write(text)
    print(msg, flush=True); o.write(msg + '\n'); o.flush()
M.run('cmake --build . -j2 >/dev/null 2>&1', build, 900)
msg = f'killed {killed} of {ptr}'
print(msg); o.write(msg + '\n'); o.close()
