#!/usr/bin/env bash
# Makes the bundled samples from ffmpeg's synthetic sources. Run from anywhere;
# writes dvd_sample.vob and vcd_sample.mpg beside this script. The output is
# committed: rerun only to change the samples.
set -euo pipefail
cd "$(dirname "$0")"

ff=(ffmpeg -hide_banner -loglevel error -nostdin -y -threads 1 -filter_threads 1)

# The picture: a panning Sierpinski fractal (fine detail everywhere) under
# drifting colour gradients, with a test card window that moves across it.
# Every colour and both line ends are given: any left out (or outside the
# picture) the gradients source picks at random, whatever its seed.
picture() { # width height rate window_size
  local size=$1x$2 rate=$3 win=$4
  echo "sierpinski=size=$size:rate=$rate:seed=1:jump=1:type=triangle,format=yuv420p[s];" \
       "gradients=size=$size:rate=$rate:speed=0.03:nb_colors=3:c0=0x2040a0:c1=0xa03060:c2=0x30a070:x0=0:y0=0:x1=$(($1-1)):y1=$(($2-1)),format=yuv420p[g];" \
       "[s][g]blend=all_mode=average[bg];testsrc2=size=$win:rate=$rate[fg];" \
       "[bg][fg]overlay=x='W/18+mod(t*W/12\,W/2)':y='H/2-abs(sin(t))*H/3',format=yuv420p[v]" | tr -d '\n'
}

# The sound: a plucked melody over a slowly swelling chord with a little
# noise; the right channel plays its own, slower tune.
music() { # rate
  local left="st(1,floor(t*4));st(2,mod(ld(1)*5+floor(ld(1)/8)*2,8));st(3,220*pow(2,floor(ld(2)*12/7+0.5)/12));st(4,sin(PI*4*mod(t,0.25)));0.3*ld(4)*(sin(2*PI*ld(3)*t)+0.3*sin(4*PI*ld(3)*t)+0.15*sin(16*PI*ld(3)*t))+0.08*(sin(2*PI*110*t)+sin(2*PI*164.81*t)+sin(2*PI*220.5*t))*(0.6+0.4*sin(2*PI*0.3*t))+0.02*(2*random(5)-1)"
  local right="st(1,floor(t*3));st(2,mod(ld(1)*3+1,8));st(3,330*pow(2,floor(ld(2)*12/7+0.5)/12));st(4,sin(PI*3*mod(t,1/3)));0.25*ld(4)*(sin(2*PI*ld(3)*t)+0.25*sin(6*PI*ld(3)*t)+0.1*sin(20*PI*ld(3)*t))+0.08*(sin(2*PI*130.81*t)+sin(2*PI*196*t))*(0.6+0.4*cos(2*PI*0.2*t))+0.02*(2*random(6)-1)"
  echo "aevalsrc=exprs='$left|$right':s=$1"
}

# DVD-style program stream: 10 s of MPEG-2 video, 720x576 at 25 fps, 4:3,
# GOPs of 12 with B pictures; MPEG-1 Layer II on stream 0xC0 and AC-3 on
# private stream 1 sub-id 0x80; 2048-byte packs with navigation packets.
"${ff[@]}" -filter_complex "$(picture 720 576 25 320x240)" -f lavfi -i "$(music 48000)" \
  -map '[v]' -map 0:a -map 0:a -t 10 \
  -c:v mpeg2video -b:v 1700k -maxrate 2500k -bufsize 1835k -g 12 -bf 2 -aspect 4:3 \
  -c:a:0 mp2 -b:a:0 128k -c:a:1 ac3 -b:a:1 128k \
  -flags:v +bitexact -flags:a +bitexact -fflags +bitexact \
  -f dvd dvd_sample.vob

# Video CD-style MPEG-1 system stream: 5 s at the PAL Video CD settings
# (352x288, 1150 kbit/s video, Layer II 44.1 kHz stereo at 224 kbit/s,
# 2324-byte packs).
"${ff[@]}" -filter_complex "$(picture 352 288 25 160x120)" -f lavfi -i "$(music 44100)" \
  -map '[v]' -map 0:a -t 5 -target pal-vcd \
  -flags:v +bitexact -flags:a +bitexact -fflags +bitexact \
  vcd_sample.mpg
