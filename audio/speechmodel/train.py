#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Trains the speech model of audio/speechmodel.hpp and writes its weights as C++ source.

  train.py fetch      download the packages of data.txt (apt-get download) and unpack them
  train.py build      decode their recordings, make the training and validation recordings
                      (speakers joined by pauses of their own room tone, then under noise,
                      babble, hum, reverb, codecs, levels and rates; among the training ones,
                      lines cut at their pauses and lip smacks in pauses), and what the model
                      sees of each (the build's ravik_speech_features)
  train.py train      fit the network (fixed seeds, one thread: the same data gives the same
                      weights) and write model.json
  train.py generate   write weights.cpp from model.json; with --check, only compare
  train.py room-check RECORDING...
                      whether train's room decay of each recording is the build's detector's
  train.py evaluate   run the build's gaptool detect on the validation recordings and score it,
                      on each of them converted to 16 bits too, and beside it on a tenth of
                      the training recordings
  train.py peers [N [FROM]]
                      the same beside ffmpeg, Silero, WebRTC and TEN VAD at their best settings
                      per recording (bench/anchors/install first), on every N-th recording
  train.py all        every step but evaluate, in order

The same data gives the same weights on the same kind of processor only: torch and ffmpeg pick
their vector code by the processor, and another rounds otherwise (docs/speed-and-accuracy.md).

The packages and everything made from them stay in ${XDG_CACHE_HOME:-~/.cache}/ravik/speech-data;
only model.json and weights.cpp are committed. fetch installs what the steps need from Debian
(python3-torch, python3-numpy, ffmpeg) when it is missing. The build folder is build/ (or
RAVIK_BUILD).
"""
import array
import glob
import hashlib
import json
import math
import os
import shutil
import struct
import statistics
import subprocess
import sys
import zipfile

VERSION = '3'
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, '..', '..'))
BUILD = os.environ.get('RAVIK_BUILD', os.path.join(ROOT, 'build'))
CACHE = os.path.join(os.environ.get('XDG_CACHE_HOME', os.path.expanduser('~/.cache')), 'ravik',
                     'speech-data')
RATE = 16000
TICK_MS = 5
CONTEXT = [-40, -24, -16, -10, -6, -3, 0, 3, 6, 10, 16, 24, 40]  # as speechmodel.hpp's kContext
FRAME_TICKS = 2
FEATURES = 8
HIDDEN = (32, 16)  # as speechmodel.hpp's Weights
LEAST_SILENCE_MS = 51
SEED = 2026
UNHEARD_SHARE = 0.3  # of the training recordings, without the level rule's feature
SCORED_EVERY = 10  # every tenth training recording is kept, and evaluate scores it too


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


# --- The data list ----------------------------------------------------------------------------

def data_list():
    packages, speakers = [], []
    with open(os.path.join(HERE, 'data.txt')) as listed:
        for line in listed:
            words = line.split('#', 1)[0].split()
            if not words:
                continue
            if words[0] == 'package':
                packages.append((words[1], words[2]))
            elif words[0] == 'speaker':
                speakers.append({'name': words[1], 'role': words[2], 'package': words[3],
                                 'patterns': words[4:]})
    return packages, speakers


def data_digest():
    with open(os.path.join(HERE, 'data.txt'), 'rb') as listed:
        return hashlib.sha256(listed.read()).hexdigest()


# --- fetch -------------------------------------------------------------------------------------

def fetch():
    needed = [p for p in ['python3-torch', 'python3-numpy', 'ffmpeg']
              if subprocess.run(['dpkg-query', '-W', '-f=${Status}', p], capture_output=True,
                                text=True).stdout.find('ok installed') < 0]
    if needed:
        sudo = [] if os.geteuid() == 0 else ['sudo']
        run(sudo + ['apt-get', 'install', '-y', '--no-install-recommends'] + needed)
    packages, _ = data_list()
    debs = os.path.join(CACHE, 'debs')
    os.makedirs(debs, exist_ok=True)
    for name, version in packages:
        target = os.path.join(CACHE, 'packages', name)
        if os.path.isdir(target):
            continue
        run(['apt-get', 'download', f'{name}={version}'], cwd=debs)
        deb = glob.glob(os.path.join(debs, f'{name}_*.deb'))[0]
        os.makedirs(target + '.part', exist_ok=True)
        run(['dpkg-deb', '-x', deb, target + '.part'])
        os.rename(target + '.part', target)


# --- Decoding ----------------------------------------------------------------------------------

def decode(data):
    """A recording's bytes as 16 kHz mono float samples (ffmpeg)."""
    out = run(['ffmpeg', '-nostdin', '-loglevel', 'error', '-i', '-', '-ac', '1', '-ar', str(RATE),
               '-f', 'f32le', '-'], input=data, capture_output=True).stdout
    samples = array.array('f')
    samples.frombytes(out)
    return samples


def speaker_files(speaker):
    root = os.path.join(CACHE, 'packages', speaker['package'])
    found = []
    for pattern in speaker['patterns']:
        if '!' in pattern:
            archive, inner = pattern.split('!', 1)
            import fnmatch
            with zipfile.ZipFile(os.path.join(root, archive)) as zipped:
                for name in sorted(zipped.namelist()):
                    if fnmatch.fnmatch(name, inner):
                        found.append((f'{archive}!{name}', zipped.read(name)))
        else:
            for path in sorted(glob.glob(os.path.join(root, pattern))):
                with open(path, 'rb') as opened:
                    found.append((os.path.relpath(path, root), opened.read()))
    return found


def utterances(speaker):
    """The speaker's recordings, decoded, their exact zeros at either end cut (cached)."""
    import numpy as np
    cached = os.path.join(CACHE, 'decoded', speaker['name'] + '.npz')
    if os.path.exists(cached):
        with np.load(cached) as stored:
            return [stored[key] for key in sorted(stored.files, key=int)]
    made = []
    for name, data in speaker_files(speaker):
        samples = np.frombuffer(decode(data), dtype=np.float32)
        moving = np.flatnonzero(samples != 0)
        if len(moving) < RATE // 10:
            continue
        made.append(samples[moving[0]:moving[-1] + 1].copy())
    os.makedirs(os.path.dirname(cached), exist_ok=True)
    np.savez(cached, **{str(i): u for i, u in enumerate(made)})
    return made


# --- Making recordings -------------------------------------------------------------------------

def room_tone(utterances, rng):
    """The speaker's room: the quiet ends of their recordings (20 ms pieces 45 dB and more under
    the loudest part), or a faint pink noise where they were edited to digital silence. Their
    level beside each other is kept; joined() sets the room's own."""
    import numpy as np
    pieces = []
    piece = RATE // 50
    for u in utterances:
        peak = np.max(np.abs(u)) + 1e-9
        for part in (u[:RATE // 5], u[-RATE // 5:]):
            for at in range(0, len(part) - piece, piece):
                chunk = part[at:at + piece]
                if 0 < np.sqrt(np.mean(chunk * chunk)) < peak * 10 ** (-45 / 20):
                    pieces.append(chunk / peak)
    if len(pieces) >= 10:
        return pieces
    return [pink(piece, rng) * 10 ** (-70 / 20) for _ in range(50)]


def pink(n, rng):
    """Pink noise (-3 dB an octave) of unit power: white noise shaped in the frequency domain."""
    import numpy as np
    spectrum = np.fft.rfft(rng.standard_normal(n))
    scale = np.ones(len(spectrum))
    scale[1:] = 1 / np.sqrt(np.arange(1, len(spectrum)))
    out = np.fft.irfft(spectrum * scale, n)
    return (out / (np.std(out) + 1e-12)).astype(np.float32)


def tone_of(pieces, n, rng):
    import numpy as np
    out = np.zeros(n, dtype=np.float32)
    at = 0
    while at < n:
        piece = pieces[rng.integers(len(pieces))]
        take = min(len(piece), n - at)
        out[at:at + take] = piece[:take]
        at += take
    return out


def joined(speaker_utterances, rng):
    """Three to seven of the speaker's recordings at levels of their own, joined by pauses of 60
    to 1,200 ms of their room tone, with a lead-in and a lead-out."""
    import numpy as np
    pieces = room_tone(speaker_utterances, rng)
    count = int(rng.integers(3, 8))
    chosen = rng.choice(len(speaker_utterances), size=min(count, len(speaker_utterances)),
                        replace=False)
    parts = []
    # The room at -72 to -55 dBFS, its pieces' own swings kept (the pieces are scaled to the
    # loudest part of the recordings they were cut from, 45 dB and more under it: taken as they
    # are, the room would lie under -100 dBFS, a floor of digital silence).
    level = float(np.sqrt(np.mean(np.concatenate(pieces) ** 2))) + 1e-12
    room = 10 ** (rng.uniform(-72, -55) / 20) / level
    for index in chosen:
        # Half the pauses short (60 to 150 ms), where a model's view of its neighbours blurs.
        short = rng.random() < 0.5
        gap = int(RATE * math.exp(rng.uniform(math.log(0.06), math.log(0.15 if short else 1.2))))
        parts.append(tone_of(pieces, gap if parts else int(RATE * rng.uniform(0.15, 0.6)), rng) * room)
        u = speaker_utterances[index]
        # Cut to its first and last sample 45 dB under its loudest, so that the pause is as long
        # as the gap made.
        peak = np.max(np.abs(u)) + 1e-9
        loud = np.flatnonzero(np.abs(u) >= peak * 10 ** (-45 / 20))
        u = u[loud[0]:loud[-1] + 1]
        gain = 10 ** (rng.uniform(-12, -3) / 20) / peak
        parts.append(u * gain)
    parts.append(tone_of(pieces, int(RATE * rng.uniform(0.15, 0.6)), rng) * room)
    return np.concatenate(parts).astype(np.float32)


def speech_power(samples, labels):
    import numpy as np
    mask = np.repeat(labels.astype(bool), RATE * TICK_MS // 1000)[:len(samples)]
    voiced = samples[:len(mask)][mask]
    return float(np.mean(voiced * voiced)) if len(voiced) else 1e-6


def reverb(samples, rng):
    import numpy as np
    rt60 = rng.uniform(0.2, 0.8)
    n = int(RATE * rt60)
    t = np.arange(n) / RATE
    response = rng.standard_normal(n) * np.exp(-6.9 * t / rt60)
    response[0] = 1.0 / 0.3
    response *= 0.3 / np.sqrt(np.sum(response * response))
    size = 1 << int(math.ceil(math.log2(len(samples) + n)))
    out = np.fft.irfft(np.fft.rfft(samples, size) * np.fft.rfft(response, size), size)
    return out[:len(samples)].astype(np.float32)


def hum(n, rng):
    import numpy as np
    mains = 50 if rng.random() < 0.5 else 60
    t = np.arange(n) / RATE
    return sum(np.sin(2 * math.pi * mains * k * t + rng.uniform(0, 6.3)) / k
               for k in range(1, 6)).astype(np.float32)


def condition(clean, labels, kind, rng, babble_pool):
    """`clean` under `kind`: the noises at their SNR against the speech's power."""
    import numpy as np
    power = speech_power(clean, labels)
    n = len(clean)
    out = clean.copy()
    name, _, value = kind.partition(':')
    if name in ('white', 'pink', 'brown'):
        if name == 'white':
            noise = rng.standard_normal(n).astype(np.float32)
        elif name == 'pink':
            noise = pink(n, rng)
        else:
            spectrum = np.fft.rfft(rng.standard_normal(n))
            scale = np.zeros(len(spectrum))
            scale[1:] = 1 / np.arange(1, len(spectrum))  # -6 dB an octave
            scale[:int(len(spectrum) * 40 / (RATE / 2))] = 0  # nothing under 40 Hz
            noise = np.fft.irfft(spectrum * scale, n)
            noise = (noise / (np.std(noise) + 1e-12)).astype(np.float32)
        out += noise * math.sqrt(power / 10 ** (float(value) / 10))
    elif name == 'babble':
        voices = np.zeros(n, dtype=np.float32)
        for _ in range(int(rng.integers(4, 7))):
            other = babble_pool[rng.integers(len(babble_pool))]
            start = int(rng.integers(max(1, len(other) - n)))
            piece = np.resize(other[start:], n)
            voices += piece / (np.sqrt(np.mean(piece * piece)) + 1e-9)
        voices /= np.sqrt(np.mean(voices * voices)) + 1e-9
        out += voices * math.sqrt(power / 10 ** (float(value) / 10))
    elif name == 'hum':
        h = hum(n, rng)
        out += h * math.sqrt(power / 10 ** (30 / 10) / (np.mean(h * h) + 1e-12))
    elif name == 'reverb':
        out = reverb(out, rng)
    return out


def pause_runs(labels, least_ticks):
    """The runs of ticks without a voice, `least_ticks` long or more: (first, end) tick pairs."""
    runs, start = [], None
    for i, speaking in enumerate(list(labels) + [1]):
        if not speaking and start is None:
            start = i
        elif speaking and start is not None:
            if i - start >= least_ticks:
                runs.append((start, i))
            start = None
    return runs


def with_clicks(made, labels, origin, tick_frames, rng):
    """Lip smacks: a 2 to 4 ms click near the speech's loudest in some pauses of 200 ms or more,
    at least 55 ms from either end. The labels stay those of the clean recording: a click is not
    a voice, and the pause stays one silence."""
    import numpy as np
    peak = float(np.max(np.abs(made))) + 1e-9
    for first, end in pause_runs(labels, 200 // TICK_MS):
        if rng.random() < 0.5:
            continue
        start = origin + first * tick_frames + RATE * 55 // 1000
        stop = origin + end * tick_frames - RATE * 60 // 1000
        if stop <= start:
            continue
        at = int(rng.integers(start, stop))
        n = int(RATE * rng.uniform(0.002, 0.004))
        i = np.arange(min(n, len(made) - at))
        made[at:at + len(i)] += (peak * rng.uniform(0.2, 0.9) * np.exp(-i / (n / 6)) *
                                 np.sin(2 * math.pi * rng.uniform(1000, 4000) * i / RATE))
    return made


def cut_line(labels, origin, tick_frames, rng):
    """Where to cut a line out of a take at its pauses: from the middle of one pause to the
    middle of a later one, so that the line holds little but speech (samples, or None)."""
    runs = pause_runs(labels, 60 // TICK_MS)
    if len(runs) < 3:
        return None
    # Mostly a line of one or two phrases, as a take's lines are.
    first = int(rng.integers(len(runs) - 1))
    last = min(len(runs) - 1, first + [1, 1, 1, 2, 2, 3][int(rng.integers(6))])
    middle = lambda run: origin + (run[0] + run[1]) * tick_frames // 2
    return middle(runs[first]), middle(runs[last])


def write_wav(path, samples, rate=RATE):
    """A 32-bit float WAV, which every build of libsndfile reads."""
    import numpy as np
    data = np.asarray(samples, dtype='<f4').tobytes()
    with open(path, 'wb') as out:
        out.write(b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' +
                  struct.pack('<IHHIIHH', 16, 3, 1, rate, rate * 4, 4, 32) + b'data' +
                  struct.pack('<I', len(data)) + data)


def transcode(path, codec, rate, rng):
    """The recording at `path` through a codec round trip and at another rate, in place."""
    steps = []
    if codec:
        name, _, quality = codec.partition(':')
        encoded = path + {'mp3': '.mp3', 'vorbis': '.ogg', 'opus': '.opus'}[name]
        args = {'mp3': ['-c:a', 'libmp3lame', '-b:a', quality + 'k'],
                'vorbis': ['-c:a', 'libvorbis', '-q:a', quality],
                'opus': ['-c:a', 'libopus', '-b:a', quality + 'k']}[name]
        run(['ffmpeg', '-nostdin', '-loglevel', 'error', '-y', '-i', path] + args + [encoded])
        steps.append(encoded)
        source = encoded
    else:
        source = path
    temporary = path + '.tmp.wav'
    run(['ffmpeg', '-nostdin', '-loglevel', 'error', '-y', '-i', source, '-ar', str(rate),
         '-c:a', 'pcm_f32le', temporary])
    os.replace(temporary, path)
    for step in steps:
        os.remove(step)


def features_of(path, teacher=False):
    """What ravik_speech_features sees of the recording: features, first frame, frames per tick,
    rate, and with `teacher` the teacher's labels."""
    import numpy as np
    tool = os.path.join(BUILD, 'audio', 'ravik_speech_features')
    out = path + '.features'
    run([tool, path, out] + (['--teacher'] if teacher else []))
    with open(out, 'rb') as read:
        data = read.read()
    os.remove(out)
    ticks, dims = struct.unpack_from('<II', data, 0)
    origin, = struct.unpack_from('<q', data, 8)
    tick_frames, rate = struct.unpack_from('<II', data, 16)
    features = np.frombuffer(data, dtype='<f4', count=ticks * dims, offset=28).reshape(ticks, dims)
    labels = None
    if teacher:
        labels = np.frombuffer(data, dtype=np.uint8, count=ticks, offset=28 + 4 * ticks * dims)
    return features, origin, tick_frames, rate, labels


def aligned(labels, origin, tick_frames, rate, clean_origin, clean_tick_frames, ticks):
    """The clean recording's labels at each tick of another reading of it: by the time of its
    middle."""
    import numpy as np
    middles = (origin + (np.arange(ticks) + 0.5) * tick_frames) / rate
    index = np.round(middles * RATE / clean_tick_frames - clean_origin / clean_tick_frames - 0.5)
    return labels[np.clip(index.astype(int), 0, len(labels) - 1)]


TRAIN_CONDITIONS = (['clean'] * 3 + ['white:20', 'white:10', 'white:5', 'pink:20', 'pink:10',
                    'pink:5', 'brown:10', 'babble:15', 'babble:10', 'babble:5', 'hum',
                    'reverb'])
CODECS = [None] * 6 + ['mp3:32', 'mp3:64', 'vorbis:2', 'vorbis:5', 'opus:24', 'opus:48']
RATES = [8000, 11025, 16000, 16000, 22050, 44100, 48000, 96000]
VALIDATION_CONDITIONS = [('clean', None), ('white:20', None), ('white:10', None),
                         ('white:5', None), ('pink:10', None), ('babble:15', None),
                         ('babble:10', None), ('hum', None), ('reverb', None),
                         ('clean', 'mp3:64'), ('clean', 'vorbis:3'), ('clean', 'opus:32')]


def build():
    import numpy as np
    _, speakers = data_list()
    rng = np.random.default_rng(SEED)
    # The cut lines and clicks of the training recordings draw from a stream of their own, so
    # that the validation recordings do not depend on them.
    extra = np.random.default_rng(SEED + 1)
    work = os.path.join(CACHE, 'made')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    decoded = {s['name']: utterances(s) for s in speakers}
    babble_pool = [u for s in speakers if s['role'] == 'train' for u in decoded[s['name']]]
    train_x, train_y = [], []
    validation, scored = [], []
    for speaker in speakers:
        mine = decoded[speaker['name']]
        if len(mine) < 3:
            continue
        training = speaker['role'] == 'train'
        mixtures = 30 if training else 6
        for m in range(mixtures):
            kept = False
            clean = joined(mine, rng)
            stem = os.path.join(work, f"{speaker['name']}-{m}")
            write_wav(stem + '-clean.wav', clean)
            _, clean_origin, clean_tick_frames, _, labels = features_of(stem + '-clean.wav', True)
            if training:
                kinds = [(TRAIN_CONDITIONS[rng.integers(len(TRAIN_CONDITIONS))],
                          CODECS[rng.integers(len(CODECS))], RATES[rng.integers(len(RATES))])
                         for _ in range(3)]
            else:
                kinds = [(kind, codec, RATE) for kind, codec in VALIDATION_CONDITIONS]
            for c, (kind, codec, rate) in enumerate(kinds):
                made = condition(clean, labels, kind, rng, babble_pool)
                # Levels from -40 to 0 dBFS at their loudest; sometimes padded and faded.
                made *= 10 ** (rng.uniform(-40, 0) / 20) / (np.max(np.abs(made)) + 1e-9)
                cut = 0
                if training:
                    if extra.random() < 0.3:
                        made = with_clicks(made, labels, clean_origin, clean_tick_frames, extra)
                    if extra.random() < 0.4:
                        line = cut_line(labels, clean_origin, clean_tick_frames, extra)
                        if line:
                            made = made[line[0]:line[1]].copy()
                            cut = line[0]
                if rng.random() < 0.1:
                    fade = int(RATE * 0.1)
                    made[:fade] *= np.linspace(0, 1, fade)
                    made[-fade:] *= np.linspace(1, 0, fade)
                    pad = np.zeros(int(RATE * rng.uniform(0.05, 0.5)), dtype=np.float32)
                    made = np.concatenate([pad, made, pad])
                    offset = len(pad) - cut
                else:
                    offset = -cut
                path = f'{stem}-{c}.wav'
                write_wav(path, made)
                if codec or rate != RATE:
                    transcode(path, codec, rate, rng)
                features, origin, tick_frames, got_rate, _ = features_of(path)
                shifted_origin = origin - offset * got_rate // RATE
                y = aligned(labels, shifted_origin, tick_frames, got_rate, clean_origin,
                            clean_tick_frames, len(features))
                item = {'speaker': speaker['name'], 'condition': kind +
                        (' ' + codec if codec else ''), 'path': path,
                        'clean': stem + '-clean.wav', 'offset_ms': offset * 1000 / RATE}
                if training:
                    train_x.append(features)
                    train_y.append(y)
                    # The training recordings scored are named by their noise alone: each has
                    # a codec and a rate of its own.
                    if (len(train_x) - 1) % SCORED_EVERY == 0:
                        scored.append(dict(item, condition=kind))
                        np.save(path + '.y.npy', y)
                        kept = True
                    else:
                        os.remove(path)
                else:
                    validation.append(item)
                    np.save(path + '.x.npy', features)
                    np.save(path + '.y.npy', y)
            if training and not kept:
                os.remove(stem + '-clean.wav')
        print(speaker['name'], 'done', flush=True)
    np.savez(os.path.join(CACHE, 'training.npz'),
             lengths=np.array([len(x) for x in train_x]), x=np.concatenate(train_x),
             y=np.concatenate(train_y))
    with open(os.path.join(CACHE, 'validation.json'), 'w') as out:
        json.dump(validation, out, indent=1)
    with open(os.path.join(CACHE, 'training.json'), 'w') as out:
        json.dump(scored, out, indent=1)


# --- train -------------------------------------------------------------------------------------

def room_decay(speech_band):
    """speechmodel.hpp's roomDecay, from every tick's feature of the speech band under the loud
    speech (the seventh), as ravik_speech_features writes them."""
    loud, far_under, within, least, longest = -10 / 20, -25 / 20, 80, 5, 60
    falls = []
    far = None  # the first far tick from here on
    for tick in range(len(speech_band) - 1, -1, -1):
        if speech_band[tick] <= far_under:
            far = tick
        elif speech_band[tick] >= loud and far is not None and far - tick < within:
            falls.append(far - tick)
    if len(falls) < least:
        return 0.0
    falls.sort()
    return min(falls[len(falls) // 10], longest) / 20


def stacked(features):
    """Each frame's inputs: the features of the ticks around it, then the recording's room
    decay, as speechProbability takes them."""
    import numpy as np
    ticks = len(features)
    frames = np.arange(0, ticks, FRAME_TICKS)
    columns = [features[np.clip(frames + offset, 0, ticks - 1)] for offset in CONTEXT]
    room = np.full((len(frames), 1), room_decay(features[:, FEATURES - 2].tolist()),
                   dtype=features.dtype)
    return np.concatenate(columns + [room], axis=1), frames


def train():
    import numpy as np
    import torch
    torch.manual_seed(SEED)
    torch.use_deterministic_algorithms(True)
    torch.set_num_threads(1)
    stored = np.load(os.path.join(CACHE, 'training.npz'))
    xs, ys, at = [], [], 0
    every_x, every_y = stored['x'], stored['y']
    # In some recordings the network is not told what the level rule hears, so that it learns
    # to hear a voice by itself too, where the level rule's floor is wrong (a line cut at its
    # pauses, with little but speech).
    unheard = np.random.default_rng(SEED + 2)
    for length in stored['lengths']:
        features = every_x[at:at + length].copy()
        labels = every_y[at:at + length]
        at += length
        if unheard.random() < UNHEARD_SHARE:
            features[:, FEATURES - 1] = 0
        x, frames = stacked(features)
        xs.append(x)
        ys.append(labels[frames])
    x = torch.tensor(np.concatenate(xs), dtype=torch.float32)
    y = torch.tensor(np.concatenate(ys), dtype=torch.float32)
    model = torch.nn.Sequential(torch.nn.Linear(x.shape[1], HIDDEN[0]), torch.nn.ReLU(),
                                torch.nn.Linear(HIDDEN[0], HIDDEN[1]), torch.nn.ReLU(),
                                torch.nn.Linear(HIDDEN[1], 1))
    speaking = float(y.mean())
    loss_of = torch.nn.BCEWithLogitsLoss(
        pos_weight=torch.tensor((1 - speaking) / max(speaking, 1e-6)))
    optimiser = torch.optim.Adam(model.parameters(), lr=2e-3)
    generator = torch.Generator().manual_seed(SEED)
    epochs = 12
    for epoch in range(epochs):
        order = torch.randperm(len(x), generator=generator)
        total = 0.0
        for start in range(0, len(x), 4096):
            batch = order[start:start + 4096]
            optimiser.zero_grad()
            loss = loss_of(model(x[batch]).squeeze(1), y[batch])
            loss.backward()
            optimiser.step()
            total += float(loss) * len(batch)
        if epoch == epochs // 2:
            for group in optimiser.param_groups:
                group['lr'] = 5e-4
        print(f'epoch {epoch}: loss {total / len(x):.4f}', flush=True)
    with torch.no_grad():
        accuracy = float(((model(x).squeeze(1) > 0).float() == y).float().mean())
    layers = [m for m in model if isinstance(m, torch.nn.Linear)]
    rows = lambda layer: [[float(w) for w in row] + [float(b)]
                          for row, b in zip(layer.weight, layer.bias)]
    weights = {'first': rows(layers[0]), 'second': rows(layers[1]),
               'output': rows(layers[2])[0]}
    with open(os.path.join(HERE, 'model.json'), 'w') as out:
        json.dump({'script': VERSION, 'data': data_digest(), 'context': CONTEXT,
                   'frames': len(x), 'training_accuracy': round(accuracy, 4),
                   'weights': weights}, out, indent=1)
        out.write('\n')
    print(f'{len(x)} frames, accuracy {accuracy:.4f} on the training data')


def room_check(paths):
    """Whether room_decay gives, from the features ravik_speech_features writes, the room decay
    the build's detector gives the network (which the tool writes beside them)."""
    import tempfile
    tool = os.path.join(BUILD, 'audio', 'ravik_speech_features')
    for path in paths:
        handle, out = tempfile.mkstemp(suffix='.features')
        os.close(handle)
        try:
            run([tool, path, out])
            with open(out, 'rb') as read:
                data = read.read()
        finally:
            os.remove(out)
        ticks, dims = struct.unpack_from('<II', data, 0)
        written, = struct.unpack_from('<f', data, 24)
        values = array.array('f')
        values.frombytes(data[28:28 + 4 * ticks * dims])
        mine, = struct.unpack('<f', struct.pack('<f', room_decay(values[FEATURES - 2::dims])))
        print(f'{os.path.basename(path)}: {ticks} ticks, room decay {written} (train.py {mine})')
        if mine != written:
            sys.exit(f'{path}: train.py takes the room decay for {mine}, the detector for {written}')


# --- generate ----------------------------------------------------------------------------------

def weights_source():
    with open(os.path.join(HERE, 'model.json')) as stored:
        model = json.load(stored)
    number = lambda value: repr(float(struct.unpack('<f', struct.pack('<f', value))[0])) + 'F'
    row = lambda values: '{' + ', '.join(number(v) for v in values) + '}'
    weights = model['weights']
    lines = ['// SPDX-License-Identifier: GPL-3.0-or-later',
             f"// Written by audio/speechmodel/train.py generate (script {model['script']}) from",
             f"// model.json, which train.py train made from the data of data.txt",
             f"// (sha256 {model['data']}). Do not edit.",
             '#include "audio/speechmodel.hpp"', '', 'namespace ravik::audio::speech {', '',
             'const bool kTrained = true;', '',
             f"static_assert(kInputs == {len(weights['first'][0]) - 1} && "
             f"Weights::kFirst == {len(weights['first'])} && "
             f"Weights::kSecond == {len(weights['second'])},",
             '              "weights.cpp was written for a model of another shape: train again");',
             '', '// clang-format off', 'const Weights kWeights{',
             '    {{']
    lines += ['        ' + row(r) + ',' for r in weights['first']]
    lines += ['    }},', '    {{']
    lines += ['        ' + row(r) + ',' for r in weights['second']]
    lines += ['    }},', '    ' + row(weights['output']) + ',', '};', '// clang-format on', '',
              '} // namespace ravik::audio::speech', '']
    return '\n'.join(lines)


def generate(check):
    made = weights_source()
    path = os.path.join(HERE, 'weights.cpp')
    if check:
        with open(path) as committed:
            if committed.read() != made:
                sys.exit('weights.cpp is not what train.py generate writes from model.json')
        return
    with open(path, 'w') as out:
        out.write(made)


# --- evaluate ----------------------------------------------------------------------------------

def pauses_of(labels, tick_ms):
    """The runs of ticks without a voice, of the least silence length or more, in ms."""
    return [(first * tick_ms, end * tick_ms) for first, end in pause_runs(labels, 1)
            if (end - first) * tick_ms >= LEAST_SILENCE_MS]


def matches(truth, found):
    """The pairs of a true and a found pause that match as gaptool diff matches silences: an
    overlap of half their union, each found pause matched once."""
    pairs, used = [], set()
    for a in truth:
        for j, b in enumerate(found):
            overlap = min(a[1], b[1]) - max(a[0], b[0])
            union = max(a[1], b[1]) - min(a[0], b[0])
            if j not in used and overlap > 0 and overlap * 2 >= union:
                pairs.append((a, b))
                used.add(j)
                break
    return pairs


def f1(truth, found):
    """What f1 is made of: the pauses matched, the true pauses, the pauses found."""
    return len(matches(truth, found)), len(truth), len(found)


def detected(path):
    gaptool = os.path.join(BUILD, 'cli', 'gaptool')
    out = path + '.gap'
    # Nothing is written for a recording in which no speech stands out: no silence found.
    subprocess.run([gaptool, 'detect', '--force', '-o', out, path], capture_output=True)
    if not os.path.exists(out):
        return []
    with open(out, 'rb') as read:
        data = read.read()
    os.remove(out)
    return [struct.unpack_from('<ii', data, at) for at in range(0, len(data) - 7, 8)]


def truth_of(item):
    """The validation recording's true pauses in ms, from the labels of its clean copy."""
    import numpy as np
    y = np.load(item['path'] + '.y.npy')
    _, origin, tick_frames, rate, _ = features_of(item['path'])
    tick_ms = tick_frames * 1000 / rate
    return [(a + origin * 1000 / rate, b + origin * 1000 / rate) for a, b in pauses_of(y, tick_ms)]


def pooled_table(by):
    for key, (matched, expected, found) in sorted(by.items()):
        pooled = 2 * matched / max(1, expected + found)
        print(f"{' '.join(key):28} F1 {pooled:.3f} ({matched} of {expected} pauses, {found} found)")


def add_score(by, item, score, column=None):
    source = item['speaker'].split('-')[0]
    for key in [('all',), (source,), ('condition', item['condition'])]:
        key = key if column is None else (column,) + key
        total = by.setdefault(key, [0, 0, 0])
        for i in range(3):
            total[i] += score[i]


def edge_errors(reference, found):
    """How far each edge of `found` lies from the edge of the `reference` pause it matches, in
    ms."""
    return [abs(a[k] - b[k]) for a, b in matches(reference, found) for k in (0, 1)]


def shifts(reference, found):
    """How much later than the `reference` pause it matches each pause of `found` starts and
    ends, in ms, leaving out the first and the last match (the recording's ends hold those)."""
    pairs = matches(reference, found)[1:-1]
    return [b[0] - a[0] for a, b in pairs], [b[1] - a[1] for a, b in pairs]


def missed_early(truth, found):
    """The true pauses that no found one matches, and how many of those a found pause overlaps
    that starts over 20 ms before it: a word's soft end taken for the pause."""
    matched = {a for a, _ in matches(truth, found)}
    missed = [a for a in truth if a not in matched]
    early = [a for a in missed if any(b[0] < a[0] - 20 and a[0] < b[1] for b in found)]
    return len(missed), len(early)


def median(values):
    return statistics.median_high(values) if values else float('nan')


def evaluate():
    """F1 against the true pauses; the edges' distance from where detect places them on the
    recording's clean copy (the truth's own edges are only as fine as its 5 ms ticks), and which
    way they move; and how many of the true pauses missed start early in a word's end."""
    with open(os.path.join(CACHE, 'validation.json')) as stored:
        validation = json.load(stored)
    by, edges, moved, missed, on_clean = {}, {}, {}, {}, {}
    sixteen = os.path.join(CACHE, 'sixteen-bits')
    os.makedirs(sixteen, exist_ok=True)
    for item in validation:
        found = detected(item['path'])
        truth = truth_of(item)
        add_score(by, item, f1(truth, found))
        # The same recording as most reach a user: in 16 bits, undithered.
        copy = os.path.join(sixteen, os.path.basename(item['path']))
        run(['ffmpeg', '-nostdin', '-loglevel', 'error', '-y', '-i', item['path'], '-c:a',
             'pcm_s16le', copy])
        add_score(by, item, f1(truth, detected(copy)), '16-bit')
        os.remove(copy)
        counts = missed.setdefault(item['condition'], [0, 0])
        for i, count in enumerate(missed_early(truth, found)):
            counts[i] += count
        # Each clean copy is shared by the recordings made from it: detected once.
        if item['clean'] not in on_clean:
            on_clean[item['clean']] = detected(item['clean'])
        clean = [(a + item['offset_ms'], b + item['offset_ms']) for a, b in on_clean[item['clean']]]
        edges.setdefault(item['condition'], []).extend(edge_errors(clean, found))
        starts, ends = shifts(clean, found)
        later = moved.setdefault(item['condition'], ([], []))
        later[0].extend(starts)
        later[1].extend(ends)
    pooled_table(by)
    for condition, errors in sorted(edges.items()):
        starts, ends = moved[condition]
        print(f'{condition:28} edges from the clean copy\'s: median {median(errors):.1f} ms '
              f'({len(errors)} edges); pauses start {median(starts):+.1f} ms and end '
              f'{median(ends):+.1f} ms from there (median); {missed[condition][0]} true pauses '
              f'missed, {missed[condition][1]} of them found starting early')
    # Beside it, the same score on a tenth of the training recordings (each with a codec and a
    # rate of its own): how much better the model does on what it learnt from.
    scored = os.path.join(CACHE, 'training.json')
    if os.path.exists(scored):
        with open(scored) as stored:
            training = json.load(stored)
        by = {}
        for item in training:
            add_score(by, item, f1(truth_of(item), detected(item['path'])), 'training')
        pooled_table(by)


def best_of(truth, settings):
    """The score of the setting that does best on this recording, chosen in hindsight."""
    scores = [f1(truth, found) for found in settings]
    return max(scores, key=lambda s: 2 * s[0] / max(1, s[1] + s[2])) if scores else (0, len(truth), 0)


def ffmpeg_sweep(path):
    settings = []
    for db in range(-80, -9, 2):
        out = subprocess.run(['ffmpeg', '-nostdin', '-hide_banner', '-nostats', '-i', path, '-af',
                              f'silencedetect=noise={db}dB:d=0.051', '-f', 'null', '-'],
                             capture_output=True, text=True).stderr
        starts = [float(x.split('silence_start: ')[1].split()[0]) for x in out.splitlines()
                  if 'silence_start: ' in x]
        ends = [float(x.split('silence_end: ')[1].split()[0]) for x in out.splitlines()
                if 'silence_end: ' in x]
        settings.append([(a * 1000, b * 1000) for a, b in zip(starts, ends)])
    return settings


def anchor_sweep(which, path):
    vad = os.path.join(ROOT, 'bench', 'anchors', 'vad.js')
    out = subprocess.run(['node', vad, which, path], capture_output=True, text=True).stdout
    settings = []
    for line in out.splitlines():
        spans = line.split()[1:]
        settings.append([tuple(float(v) for v in span.split('-')) for span in spans])
    return settings


def peers():
    """The validation group scored by gaptool detect and, each at its best setting per recording
    (chosen in hindsight), ffmpeg's silencedetect and bench/anchors' Silero, WebRTC and TEN VAD,
    on every EVERY-th recording from the FROM-th (train.py peers [EVERY [FROM]], every one by
    default). Every twelfth recording is of one condition: take an EVERY prime to 12."""
    import tempfile
    every = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    start = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    if not os.path.isdir(os.path.join(ROOT, 'bench', 'anchors', 'node_modules')):
        sys.exit('train.py peers: run bench/anchors/install first')
    with open(os.path.join(CACHE, 'validation.json')) as stored:
        validation = json.load(stored)[start::every]
    by = {}
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, 'peer.wav')
        for number, item in enumerate(validation):
            truth = truth_of(item)
            add_score(by, item, f1(truth, detected(item['path'])), 'ravik')
            # The peers take 16 kHz mono 16-bit WAV; times in ms do not change.
            run(['ffmpeg', '-nostdin', '-loglevel', 'error', '-y', '-i', item['path'], '-ar',
                 '16000', '-ac', '1', '-c:a', 'pcm_s16le', wav])
            add_score(by, item, best_of(truth, ffmpeg_sweep(wav)), 'ffmpeg')
            for which in ('silero', 'webrtc', 'ten'):
                add_score(by, item, best_of(truth, anchor_sweep(which, wav)), which)
            print(f'{number + 1} of {len(validation)}', file=sys.stderr, flush=True)
    pooled_table(by)


def main():
    step = sys.argv[1] if len(sys.argv) > 1 else 'all'
    if step in ('fetch', 'all'):
        fetch()
    if step in ('build', 'all'):
        build()
    if step in ('train', 'all'):
        train()
    if step in ('generate', 'all'):
        generate('--check' in sys.argv)
    if step == 'room-check':
        room_check(sys.argv[2:])
    if step == 'evaluate':
        evaluate()
    if step == 'peers':
        peers()


if __name__ == '__main__':
    main()
