#!/bin/sh
# The step sound: the game restarts it on every step, 100 times a second, so
# its first hundredth of a second is what the player hears. A 100 Hz
# sawtooth fills that hundredth with exactly one period, so the restarts join
# without a click; brown noise gives it the rasp of an engine. The short tail
# fades out so that the last step does not end with a snap. -R draws the
# noise from a fixed seed, so two builds make the same sound.
set -e
salida=${1:?uso: motor.sh salida.wav}
sox -R -n -r 22050 -b 16 -c 1 "$salida" \
   synth 0.08 sawtooth 100 brownnoise remix 1v0.75,2v0.25 \
   lowpass 1800 fade t 0 0.08 0.04 gain -n -3
