[TFrmQuorvel]
BtnOpen.Caption=Open
[Messages]
Msg1=Cannot open
