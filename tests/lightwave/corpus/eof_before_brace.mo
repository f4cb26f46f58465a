LWMO
3

NumChannels 1
Channel 0
{ Envelope
  1
  Key 0 0 3 0 0 0 0 0 0 0
