[FrmQuorvel]
BtnOpen.Caption=&Apri
BtnSaveAs.Caption=&Salva con nome
BtnNewVer.Caption=Ultima versione
TabSheet1.Caption=Standard
TabSheet2.Caption=Avanzate
Label6.Caption=Posizione
Label8.Caption=Spazio
Label7.Caption=Dimensione
Label10.Caption=Trasparenza
Label12.Caption=Colore
RadioButtonColor.Caption=A colori
RadioButtonH.Caption=Grigio
RadioButtonBW.Caption=Bianco e nero
Label14.Caption=Canale alfa
CheckBoxRemoveAlpa.Caption=Rimuovi canale alfa
Label11.Caption=Colore di sfondo
CheckBoxWave.Caption=Onda
Label3.Caption=Ampiezza
Label4.Caption=Lunghezza d'onda
Label5.Caption=Fase
BtnFit.Hint=Adatta
BtnReal.Hint=Dimensione reale
BtnZoomOut.Hint=Ingrandisci
BtnZoomIn.Hint=Riduci
M_Files.Caption=&File
M_Open.Caption=&Apri...
M_SaveAs.Caption=&Salva con nome...
M_Close.Caption=&Esci
M_Language.Caption=&Lingue
M_Help.Caption=&Guida
M_HomePage.Caption=&Sito web
M_About.Caption=&Informazioni...
OpenQuillotDialog1.Title=Apri immagine
SaveQuillotDialog1.Title=Salva con nome

[FrmAbout]
Caption=Informazioni
LabelHomepage.Caption=Sito web:
LabelEmail.Caption=E-mail:
BtnOk.Caption=&OK

[Messages]
Ms_Error=Errore
Ms_OpenError=Impossibile aprire il file
Ms_NoOpener=Nessun programma installato può aprire questo indirizzo:
Ms_PictureFiles=File immagine
Ms_AllFiles=Tutti i file
Ms_Video=Video di Windows

[FileDialog]
FileName=&Nome file:
FilesOfType=&Tipo file:
Open=&Apri
Save=&Salva
Cancel=Annulla
UpOneLevel=Livello superiore
PathNotFound=Il percorso non esiste.
FileNotFound=File non trovato.#13#10Controllare il nome del file e riprovare.
Replace=esiste già.#13#10Sostituirlo?
