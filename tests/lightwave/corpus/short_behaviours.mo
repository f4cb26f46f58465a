LWMO
3

NumChannels 1
Channel 0
{ Envelope
  1
  Behaviors 2
}
